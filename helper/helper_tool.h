#pragma once
// The one object that serves every connection of the helper. It owns the set
// of processes given the background policy and the set of jailed applications;
// both outlive every client.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shared/mainloop/main_loop.h"
#include "shared/process/process_runner.h"
#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::helper {

class ProcessScanner;

struct HelperToolDependencies {
    MainLoop& mainLoop;                 // replies of multi-process calls, the jail timer
    ProcessRunner& runner;              // runs the taskpolicy tool
    std::string taskPolicyPath;         // the tool's path
    ProcessScanner* scanner = nullptr;  // Beast Mode and jail listings; absent means none
    // Whether a process still exists (signal 0); replaceable for tests.
    std::function<bool(std::int32_t pid)> processExists = {};
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

    // One tick of the jail monitor: drop dead pids, then throttle jailed
    // applications not yet throttled.
    void monitoringTick();
    void cleanupDeadPIDs();
    void checkJailedProcesses();

private:
    using Completion = std::function<void(bool success, std::optional<std::string> message)>;

    void runTaskPolicy(bool background, std::int32_t pid, const Completion& completion);
    // Runs the tool for each pid in order; replies once from the main loop.
    void runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply);
    void startMonitoring();

    HelperToolDependencies deps_;

    std::set<std::int32_t> throttledPIDs_;
    mutable std::mutex pidsQueue_;  // "com.korvane.helper.pids"
    std::set<std::string> jailedBundleIDs_;
    mutable std::mutex jailQueue_;  // "com.korvane.helper.jail"
    Timer monitoringTimer_;

    // Scans started by a jail-list update run on threads of their own; the
    // destructor waits for them.
    std::mutex scansMutex_;
    std::condition_variable scansDone_;
    int scansRunning_ = 0;
};

}  // namespace korvane::helper
