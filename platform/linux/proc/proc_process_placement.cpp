#include "platform/linux/proc/proc_process_placement.h"

#include <dirent.h>
#include <sched.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "shared/process/process_stat.h"
#include "shared/util/small_file.h"

namespace korvane::linux_platform {
namespace {

constexpr SmallFileOptions kProcFile{.limit = 1 << 16, .truncate = true, .shortReadEnds = true};

std::optional<CpuList> allowedCPUs(std::string_view status) {
    constexpr std::string_view kKey = "\nCpus_allowed_list:";
    const auto at = status.find(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view value = status.substr(at + kKey.size());
    value = value.substr(0, value.find('\n'));
    const auto start = value.find_first_not_of(" \t");
    if (start == std::string_view::npos) return std::nullopt;
    auto list = parseCpuList(value.substr(start));
    if (!list) return std::nullopt;
    return *list;
}

}  // namespace

ProcProcessPlacement::ProcProcessPlacement(std::string procRoot, CpuList efficiencyCPUs)
    : procRoot_(std::move(procRoot)), efficiencyCPUs_(std::move(efficiencyCPUs)) {}

bool ProcProcessPlacement::threadConfined(const std::string& taskDirectory) const {
    if (auto stat = readSmallFile(taskDirectory + "/stat", kProcFile)) {
        auto parsed = parseProcessStat(*stat, 41);
        if (parsed && parsed->policy == SCHED_IDLE) return true;
    }
    if (efficiencyCPUs_.empty()) return false;
    auto status = readSmallFile(taskDirectory + "/status", kProcFile);
    if (!status) return false;
    auto allowed = allowedCPUs(*status);
    return allowed && !allowed->empty() && subtractCpuLists(*allowed, efficiencyCPUs_).empty();
}

bool ProcProcessPlacement::confinedToBackground(std::int32_t pid) const {
    if (pid <= 0) return false;
    const std::string tasks = procRoot_ + "/" + std::to_string(pid) + "/task";
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(tasks.c_str()), ::closedir);
    if (!directory) return false;
    bool anyThread = false;
    // Stops at the first thread that runs freely: an application that is not
    // confined costs one or two reads, however many threads it has.
    while (const dirent* entry = ::readdir(directory.get())) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        if (!threadConfined(tasks + "/" + entry->d_name)) return false;
        anyThread = true;
    }
    return anyThread;
}

}  // namespace korvane::linux_platform
