#pragma once
// One row of the process table as the helper's scans use it, and the
// parent links of a whole table.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

struct ProcessEntry {
    std::int32_t pid = 0;
    std::int32_t parent = 0;
    std::uint64_t startTime = 0;  // with the pid, names one process
    // The arguments joined by spaces, with what a terminal would not show
    // as it is replaced by "?", as ps prints them.
    std::string commandLine;
};

// Who started whom, from one reading of the table: the children of every
// process, so that finding a process's descendants reads nothing more, and
// when each process started.
class ProcessFamily {
public:
    ProcessFamily() = default;
    explicit ProcessFamily(const std::vector<ProcessEntry>& entries) {
        children_.reserve(entries.size());
        startTimes_.reserve(entries.size());
        for (const auto& entry : entries) add(entry.pid, entry.parent, entry.startTime);
    }
    void add(std::int32_t pid, std::int32_t parent, std::uint64_t startTime) {
        children_[parent].push_back(pid);
        startTimes_.insert_or_assign(pid, startTime);
    }
    const std::vector<std::int32_t>& childrenOf(std::int32_t pid) const {
        static const std::vector<std::int32_t> kNone;
        auto found = children_.find(pid);
        return found == children_.end() ? kNone : found->second;
    }
    // When the process that had `pid` at the reading started.
    std::optional<std::uint64_t> startTimeOf(std::int32_t pid) const {
        auto found = startTimes_.find(pid);
        return found == startTimes_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::unordered_map<std::int32_t, std::vector<std::int32_t>> children_;
    std::unordered_map<std::int32_t, std::uint64_t> startTimes_;
};

}  // namespace korvane
