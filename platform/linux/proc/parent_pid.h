#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace korvane::linux_platform {

// The parent of a process, from /proc/PID/stat; nothing when the process is
// gone or the file is not as expected.
std::optional<std::int32_t> readParentPID(const std::string& procRoot, std::int32_t pid);

}  // namespace korvane::linux_platform
