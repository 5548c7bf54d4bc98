#pragma once
// Where a process sits: its parent and its cgroup, as /proc shows them.
#include <cstdint>
#include <optional>
#include <string>

namespace korvane::linux_platform {

// The parent of a process, from /proc/PID/stat; nothing when the process is
// gone or the file is not as expected.
std::optional<std::int32_t> readParentPID(const std::string& procRoot, std::int32_t pid);

// When the process started, in clock ticks after boot (field 22 of
// /proc/PID/stat): with the pid, it names one process, so a pid reused by a
// later process is told apart. Nothing when no process has the pid.
std::optional<std::uint64_t> readStartTime(const std::string& procRoot, std::int32_t pid);

// The text of /proc/PID/cgroup; two processes with equal texts share every
// cgroup. Nothing when the process is gone.
std::optional<std::string> readCgroup(const std::string& procRoot, std::int32_t pid);

}  // namespace korvane::linux_platform
