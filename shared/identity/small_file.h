#pragma once
// Reading small text files the helper does not control. The helper runs as
// root and some paths it reads are chosen by other users (a process's root
// folder, desktop entries in a home folder), so a FIFO or a device must never
// block or trigger it, and a huge file must not be swallowed whole.
#include <cstddef>
#include <optional>
#include <string>

namespace korvane::identity {

inline constexpr std::size_t kDefaultFileLimit = 1 << 20;

// The whole file, or nothing when it is missing, not a regular file,
// unreadable or longer than `limit` bytes. /proc files count as regular.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit = kDefaultFileLimit);

}  // namespace korvane::identity
