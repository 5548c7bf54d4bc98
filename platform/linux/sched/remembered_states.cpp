#include "platform/linux/sched/remembered_states.h"

#include <algorithm>

namespace korvane::linux_platform {

void RememberedStates::remember(pid_t pid, RememberedProcess process, const StartTimeLookup& startTimeOf) {
    auto found = processes_.find(pid);
    if (found != processes_.end() && found->second.process.stillNames(pid, startTimeOf)) {
        for (auto& [tid, state] : process.threads) found->second.threads.try_emplace(tid, std::move(state));
        return;
    }
    if (found != processes_.end()) erase(found);
    if (process.process.holdsDescriptor()) ++heldDescriptors_;
    processes_.emplace(pid, std::move(process));
}

const RememberedProcess* RememberedStates::find(pid_t pid, const StartTimeLookup& startTimeOf) {
    auto found = processes_.find(pid);
    if (found == processes_.end()) return nullptr;
    if (!found->second.process.stillNames(pid, startTimeOf)) {
        erase(found);
        return nullptr;
    }
    return &found->second;
}

void RememberedStates::forget(pid_t pid) {
    if (auto found = processes_.find(pid); found != processes_.end()) erase(found);
}

void RememberedStates::sweepIfGrown(const StartTimeLookup& startTimeOf) {
    if (processes_.size() < sweepAt_) return;
    for (auto it = processes_.begin(); it != processes_.end();) {
        it = it->second.process.stillNames(it->first, startTimeOf) ? std::next(it) : erase(it);
    }
    sweepAt_ = std::max(kFirstSweepSize, processes_.size() * 2);
}

RememberedStates::Entries::iterator RememberedStates::erase(Entries::iterator entry) {
    if (entry->second.process.holdsDescriptor()) --heldDescriptors_;
    return processes_.erase(entry);
}

}  // namespace korvane::linux_platform
