#pragma once
// The one object that serves every connection of the helper: a thin front
// over the throttle engine, Beast Mode, the jail monitor and the fan
// commands, which outlive every client.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "helper/beast_mode.h"
#include "helper/fan_commands.h"
#include "helper/jail_monitor.h"
#include "helper/throttle_engine.h"
#include "shared/mainloop/main_loop.h"
#include "shared/process/task_policy.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/util/state_file.h"

namespace korvane::helper {

class ProcessScanner;

struct HelperToolDependencies {
    MainLoop& mainLoop;                 // replies of multi-process calls, the jail timer
    TaskPolicy& taskPolicy;             // gives and takes the background policy
    ProcessScanner* scanner = nullptr;  // Beast Mode and jail listings; absent means none
    // When the process that has a pid now started, nothing when none has it;
    // with the pid it names one process.
    StartTimeOf startTimeOf;
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

    // Starts no more batches of policy work: the helper is going.
    void stop() { throttle_.stop(); }

    // Snapshots for tests and diagnostics.
    std::set<std::int32_t> throttledPIDsSnapshot() const { return throttle_.snapshot(); }
    std::set<std::string> jailedBundleIDsSnapshot() const { return jail_.snapshot(); }

    // One tick of the jail monitor on the calling thread, and its halves.
    void monitoringTick() { jail_.tick(); }
    void cleanupDeadPIDs() { throttle_.cleanupDeadPIDs(); }
    void checkJailedProcesses() { jail_.checkJailedProcesses(); }

private:
    ThrottleEngine throttle_;
    BeastMode beast_;
    FanCommands fans_;
    // Last: its scan thread uses the engine, so it stops first.
    JailMonitor jail_;
};

}  // namespace korvane::helper
