#include "platform/linux/proc/process_tree.h"

#include <fcntl.h>

#include "platform/linux/proc/proc_files.h"
#include "shared/process/process_stat.h"

namespace korvane::linux_platform {

namespace {

std::optional<ProcessStat> statOf(const std::string& procRoot, std::int32_t pid, int lastField = 22) {
    std::string path = procRoot + "/" + std::to_string(pid) + "/stat";
    auto text = readProcFileAt(AT_FDCWD, path.c_str(), 4096);
    if (!text) return std::nullopt;
    auto stat = parseProcessStat(*text, lastField);
    return stat ? std::optional(*stat) : std::nullopt;
}

}  // namespace

std::optional<std::int32_t> readParentPID(const std::string& procRoot, std::int32_t pid) {
    auto stat = statOf(procRoot, pid, 4);
    return stat ? std::optional(stat->parent) : std::nullopt;
}

std::optional<std::uint64_t> readStartTime(const std::string& procRoot, std::int32_t pid) {
    auto stat = statOf(procRoot, pid);
    return stat ? std::optional(stat->startTime) : std::nullopt;
}

std::optional<std::string> readCgroup(const std::string& procRoot, std::int32_t pid) {
    std::string path = procRoot + "/" + std::to_string(pid) + "/cgroup";
    auto text = readProcFileAt(AT_FDCWD, path.c_str(), 65536);
    return text ? std::optional(std::move(*text)) : std::nullopt;
}

}  // namespace korvane::linux_platform
