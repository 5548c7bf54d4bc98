#pragma once
// Gives processes the background policy and takes it away, and keeps the
// set of those it has given it: by pid and start time, so that a pid a
// later process took over is never mistaken for ours.
//
// Work goes to the policy in batches of its batch size, one batch at a time
// in the order asked for, so a long call delays another by one batch at
// most and a stop is seen between batches. A process is on record before
// the policy changes it, so a helper killed at any moment leaves nothing
// changed off the record.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shared/mainloop/main_loop.h"
#include "shared/process/task_policy.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/util/state_file.h"
#include "shared/util/turn_lock.h"

namespace korvane::helper {

// When the process that has a pid now started; nothing when none has it.
using StartTimeOf = std::function<std::optional<std::uint64_t>(std::int32_t pid)>;

struct ThrottleEngineDependencies {
    MainLoop& mainLoop;  // multi-process replies
    TaskPolicy& taskPolicy;
    StartTimeOf startTimeOf;
    StateFile* record = nullptr;  // the set, kept for a later run; none when absent
};

class ThrottleEngine {
public:
    explicit ThrottleEngine(ThrottleEngineDependencies deps);

    void throttle(std::int32_t pid, const ReplyBlock& reply);
    void unthrottle(std::int32_t pid, const ReplyBlock& reply);
    // Each pid in order; one reply, from the main loop.
    void throttleMultiple(const std::vector<std::int32_t>& pids, ReplyBlock reply);
    void unthrottleAll(ReplyBlock reply);

    // For Beast Mode: true when the policy was taken away.
    bool releaseAndRecord(std::int32_t pid);
    // Gives each pid the policy, in one batch of the policy's work. `family`
    // is the reading of the table the pids came from, if the caller has one.
    void applyEachAndRecord(const std::vector<std::int32_t>& pids, const ProcessFamily* family = nullptr);
    // For the jail monitor: gives each pid the policy unless the set
    // already holds that very process. Each pid's log lines follow the
    // line `announcement` makes for it.
    using Announcement = std::function<std::string(std::int32_t pid)>;
    void applyEachUnlessHeld(const std::vector<std::int32_t>& pids, const Announcement& announcement,
                             const ProcessFamily* family = nullptr);

    // Drops entries whose process has ended or whose pid names another.
    void cleanupDeadPIDs();
    std::set<std::int32_t> snapshot() const;

    // From now on no batch starts: the pids not reached fail with
    // kStoppingText. The batch under way finishes.
    void stop() { stopping_ = true; }
    static constexpr const char* kStoppingText = "the helper is stopping";

private:
    struct Outcome {
        std::optional<std::string> failure;  // logged already; nothing on success
        std::uint64_t startTime = 0;         // as the policy read it; 0 when it did not
    };
    // Gives (or takes away) the policy of each pid, batch by batch; with
    // `unlessHeld`, a pid the set holds for this very process is passed
    // over (its outcome is success). Each batch's log lines go in one write.
    std::vector<Outcome> runEach(bool background, const std::vector<std::int32_t>& pids,
                                 const Announcement& announcement = {}, const ProcessFamily* family = nullptr,
                                 bool unlessHeld = false);
    // One batch, with work_ held.
    void runBatch(bool background, const std::vector<std::int32_t>& pids, std::vector<Outcome>& outcomes,
                  const Announcement& announcement, const ProcessFamily* family, bool unlessHeld);
    // The log line of one result, and its outcome.
    static Outcome outcome(bool background, std::int32_t pid, const TaskPolicyResult& done,
                           std::vector<std::string>& lines);
    void runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply);

    // The set's bookkeeping; called with pidsQueue_ held.
    bool stillNamesLocked(std::int32_t pid) const;
    std::size_t dropEndedLocked();  // how many were dropped
    void saveLocked();
    void load();

    ThrottleEngineDependencies deps_;
    std::map<std::int32_t, std::uint64_t> throttledPIDs_;  // pid -> start time
    mutable std::mutex pidsQueue_;  // "com.korvane.helper.pids"; taken after work_
    TurnLock work_;                 // one batch of policy work at a time
    std::atomic<bool> stopping_{false};
};

}  // namespace korvane::helper
