#pragma once
// What threads had before they got the background policy, so that releasing
// gives them exactly that back. Lives in the helper's memory only; the
// taskpolicy tool run on its own has none.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>

#include "platform/linux/sched/thread_sched.h"

namespace korvane::linux_platform {

struct RememberedProcess {
    std::uint64_t startTime = 0;  // tells this process from a later one with the same pid
    std::unordered_map<pid_t, ThreadSchedState> threads;
};

// Not synchronised; its owner serialises access.
class RememberedStates {
public:
    // Adds threads not yet remembered for this process. What is already known
    // stays: a second background request must not record the background
    // state as the state to return to. An entry left by an earlier process
    // with the same pid is replaced.
    void remember(pid_t pid, RememberedProcess process);

    // The entry for the process with this pid and start time; an entry of an
    // earlier process with the same pid is dropped and nothing is returned.
    const RememberedProcess* find(pid_t pid, std::uint64_t startTime);
    bool contains(pid_t pid) const { return processes_.count(pid) != 0; }
    void forget(pid_t pid) { processes_.erase(pid); }
    std::size_t size() const { return processes_.size(); }

    // Processes that end while throttled are never released. Whenever the
    // store has doubled since the last sweep, drop entries whose process is
    // gone; `currentStartTime` gives the start time of the process now
    // holding a pid, or nothing when there is none.
    void sweepIfGrown(const std::function<std::optional<std::uint64_t>(pid_t)>& currentStartTime);

private:
    static constexpr std::size_t kFirstSweepSize = 64;
    std::unordered_map<pid_t, RememberedProcess> processes_;
    std::size_t sweepAt_ = kFirstSweepSize;
};

}  // namespace korvane::linux_platform
