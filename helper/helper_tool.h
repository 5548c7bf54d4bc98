#pragma once
// The one object that serves every connection of the helper. It owns the set
// of processes given the background policy and the set of jailed applications;
// both outlive every client.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shared/mainloop/main_loop.h"
#include "shared/process/process_runner.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/util/state_file.h"

namespace korvane::helper {

class ProcessScanner;

struct HelperToolDependencies {
    MainLoop& mainLoop;                 // replies of multi-process calls, the jail timer
    ProcessRunner& runner;              // runs the taskpolicy tool
    std::string taskPolicyPath;         // the tool's path
    ProcessScanner* scanner = nullptr;  // Beast Mode and jail listings; absent means none
    // When the process that has a pid now started, nothing when none has it;
    // with the pid it names one process. /proc when left empty.
    std::function<std::optional<std::uint64_t>(std::int32_t pid)> startTimeOf = {};
    // Where the throttled set is kept for a later run; none when absent.
    StateFile* throttledRecord = nullptr;
};

class HelperTool final : public KorvaneXPCProtocol {
public:
    explicit HelperTool(HelperToolDependencies deps);
    ~HelperTool() override;

    void throttleProcess(std::int32_t pid, ReplyBlock reply) override;
    void unthrottleProcess(std::int32_t pid, ReplyBlock reply) override;
    void throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock reply) override;
    void unthrottleAllProcesses(ReplyBlock reply) override;
    void ping(PingReplyBlock reply) override;
    void updateJailedBundleIDs(std::vector<std::string> bundleIDs, ReplyBlock reply) override;
    void setBeastMode(bool enabled, std::int32_t focusPID, ReplyBlock reply) override;
    void setFanControlMode(std::int64_t fanIndex, bool isManual, ReplyBlock reply) override;
    void setFanTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM, ReplyBlock reply) override;

    // Snapshots for tests and diagnostics.
    std::set<std::int32_t> throttledPIDsSnapshot() const;
    std::set<std::string> jailedBundleIDsSnapshot() const;

    // One tick of the jail monitor, all on the calling thread: drop dead
    // pids, then throttle jailed applications not yet throttled. The timer's
    // ticks leave the second half to the scan thread.
    void monitoringTick();
    void cleanupDeadPIDs();
    void checkJailedProcesses();

private:
    using Completion = std::function<void(bool success, std::optional<std::string> message)>;

    void runTaskPolicy(bool background, std::int32_t pid, const Completion& completion);
    // The set's bookkeeping; called with pidsQueue_ held.
    void noteThrottledLocked(std::int32_t pid);
    void noteReleasedLocked(std::int32_t pid);
    // Whether the entry still names the process that has its pid now.
    bool stillNamesLocked(std::int32_t pid) const;
    void saveThrottledLocked();
    void loadThrottled();
    // Runs the tool for each pid in order; replies once from the main loop.
    void runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply);
    void startMonitoring();

    HelperToolDependencies deps_;

    // pid -> start time of the process given the policy: a pid that a later
    // process took over is never mistaken for it.
    std::map<std::int32_t, std::uint64_t> throttledPIDs_;
    mutable std::mutex pidsQueue_;  // "com.korvane.helper.pids"
    std::set<std::string> jailedBundleIDs_;
    mutable std::mutex jailQueue_;  // "com.korvane.helper.jail"
    Timer monitoringTimer_;

    // Scans asked for by jail-list updates run on one thread, one at a
    // time: updates that come while a scan runs leave one more scan, which
    // reads the newest list when it starts.
    void scanLoop();
    bool requestScan();
    std::mutex scansMutex_;
    std::condition_variable scanWanted_;
    bool scanRequested_ = false;
    bool stopScanning_ = false;
    // Set on the way out: a scan in progress throttles nothing more.
    std::atomic<bool> closing_{false};
    std::thread scanThread_;
};

// The most bundle IDs one jail list may hold.
inline constexpr std::size_t kMaxJailedBundleIDs = 1024;

}  // namespace korvane::helper
