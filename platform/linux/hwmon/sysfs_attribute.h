#pragma once
// Small sysfs attribute files: one value each, read and written whole.
#include <optional>
#include <string>

#include "shared/util/expected.h"

namespace korvane::linux_platform::sysfs {

// The contents without surrounding white space; absent when unreadable.
std::optional<std::string> readText(const std::string& path);
// A decimal integer; absent when unreadable or not a number.
std::optional<long long> readInteger(const std::string& path);
// Writes the number in decimal; the error is errno.
Expected<Done, int> writeInteger(const std::string& path, long long value);

bool exists(const std::string& path);
// Whether the attribute is meant to be written. The mode bits decide, not
// access(): root passes access() for every file, yet the kernel refuses
// writes to attributes without a store method.
bool isWritable(const std::string& path);

}  // namespace korvane::linux_platform::sysfs
