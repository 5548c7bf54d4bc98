#pragma once
// Gives processes the background policy and takes it away, and keeps the
// set of those it has given it: by pid and start time, so that a pid a
// later process took over is never mistaken for ours.
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

private:
    struct Outcome {
        std::optional<std::string> failure;  // logged already; nothing on success
        std::uint64_t startTime = 0;         // as the policy read it; 0 when it did not
    };
    Outcome run(bool background, std::int32_t pid);
    // The same for each pid in one batch of the policy, logged in one write.
    std::vector<Outcome> runEach(bool background, const std::vector<std::int32_t>& pids,
                                 const Announcement& announcement, const ProcessFamily* family = nullptr);
    // Notes what succeeded; the record is written once.
    void recordLocked(bool background, const std::vector<std::int32_t>& pids, const std::vector<Outcome>& outcomes);
    // The log line of one result, and its outcome.
    static Outcome outcome(bool background, std::int32_t pid, const TaskPolicyResult& done,
                           std::vector<std::string>& lines);
    void runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply);

    // The set's bookkeeping; called with pidsQueue_ held.
    // With `save`, the record is written at once; a batch writes it once.
    // `startTime` 0 means not known yet.
    void noteThrottledLocked(std::int32_t pid, std::uint64_t startTime, bool save = true);
    void noteReleasedLocked(std::int32_t pid, bool save = true);
    bool stillNamesLocked(std::int32_t pid) const;
    std::size_t dropEndedLocked();  // how many were dropped
    void saveLocked();
    void load();

    ThrottleEngineDependencies deps_;
    std::map<std::int32_t, std::uint64_t> throttledPIDs_;  // pid -> start time
    mutable std::mutex pidsQueue_;  // "com.korvane.helper.pids"
};

}  // namespace korvane::helper
