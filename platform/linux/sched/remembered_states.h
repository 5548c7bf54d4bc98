#pragma once
// What threads had before they got the background policy, so that releasing
// gives them exactly that back. Lives in the helper's memory only; the
// taskpolicy tool run on its own has none.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/linux/sched/process_reference.h"
#include "platform/linux/sched/thread_sched.h"

namespace korvane::linux_platform {

struct RememberedProcess {
    ProcessReference process;
    std::unordered_map<pid_t, ThreadSchedState> threads;
    // Read ahead of a change not made yet; a change made clears it.
    bool noted = false;
};

// The start time of the process that has a pid now, or nothing.
using StartTimeLookup = std::function<std::optional<std::uint64_t>(pid_t)>;

// Not synchronised; its owner serialises access.
class RememberedStates {
public:
    // The helper's descriptors are also its connections and pipes; beyond
    // this many, processes are told apart by their start time instead.
    static constexpr std::size_t kMaxHeldDescriptors = 512;
    bool canHoldDescriptor() const { return heldDescriptors_ < kMaxHeldDescriptors; }

    // Adds threads not yet remembered for this process. What is already known
    // stays: a second background request must not record the background
    // state as the state to return to. An entry left by an earlier process
    // with the same pid is replaced.
    void remember(pid_t pid, RememberedProcess process, const StartTimeLookup& startTimeOf);

    // The entry for the process that has this pid now; an entry left by an
    // earlier process with the same pid is dropped and nothing is returned.
    const RememberedProcess* find(pid_t pid, const StartTimeLookup& startTimeOf);
    bool contains(pid_t pid) const { return processes_.count(pid) != 0; }
    void forget(pid_t pid);
    // Forgets the processes noted ahead of a change that was never made.
    void forgetNoted();
    std::size_t size() const { return processes_.size(); }

    // The store as text, to be taken over by a later run: per process a line
    // "P PID START", then per thread
    // "T TID POLICY FLAGS NICE PRIORITY RUNTIME DEADLINE PERIOD IOPRIO CPUS"
    // (CPUS in the kernel's list notation, "-" for none).
    std::string serialize() const;
    struct Restored {
        std::size_t recorded = 0;  // processes in the text
        std::size_t taken = 0;     // of those, still running as the same process
    };
    // Takes over the processes of `text` that still run; what ended or has
    // given its pid to another process is left out. Malformed lines are skipped.
    Restored restore(std::string_view text, const StartTimeLookup& startTimeOf);

    // Processes that end while throttled are never released. Whenever the
    // store has doubled since the last sweep, drop entries whose process is
    // gone.
    void sweepIfGrown(const StartTimeLookup& startTimeOf);

private:
    using Entries = std::unordered_map<pid_t, RememberedProcess>;
    Entries::iterator erase(Entries::iterator entry);

    static constexpr std::size_t kFirstSweepSize = 64;
    Entries processes_;
    std::size_t heldDescriptors_ = 0;
    std::size_t sweepAt_ = kFirstSweepSize;
};

}  // namespace korvane::linux_platform
