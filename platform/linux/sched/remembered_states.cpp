#include "platform/linux/sched/remembered_states.h"

#include <algorithm>

namespace korvane::linux_platform {

void RememberedStates::remember(pid_t pid, RememberedProcess process) {
    auto found = processes_.find(pid);
    if (found == processes_.end() || found->second.startTime != process.startTime) {
        processes_[pid] = std::move(process);
        return;
    }
    for (auto& [tid, state] : process.threads) found->second.threads.try_emplace(tid, std::move(state));
}

const RememberedProcess* RememberedStates::find(pid_t pid, std::uint64_t startTime) {
    auto found = processes_.find(pid);
    if (found == processes_.end()) return nullptr;
    if (found->second.startTime != startTime) {
        processes_.erase(found);
        return nullptr;
    }
    return &found->second;
}

void RememberedStates::sweepIfGrown(const std::function<std::optional<std::uint64_t>(pid_t)>& currentStartTime) {
    if (processes_.size() < sweepAt_) return;
    for (auto it = processes_.begin(); it != processes_.end();) {
        if (currentStartTime(it->first) != it->second.startTime) {
            it = processes_.erase(it);
        } else {
            ++it;
        }
    }
    sweepAt_ = std::max(kFirstSweepSize, processes_.size() * 2);
}

}  // namespace korvane::linux_platform
