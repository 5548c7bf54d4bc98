#include "helper/helper_tool.h"

namespace korvane::helper {

HelperTool::HelperTool(HelperToolDependencies deps)
    : throttle_({deps.mainLoop, deps.taskPolicy, std::move(deps.startTimeOf), deps.throttledRecord}),
      beast_(throttle_, deps.scanner, deps.mainLoop),
      jail_(throttle_, deps.scanner, deps.mainLoop) {}

HelperTool::~HelperTool() = default;

void HelperTool::throttleProcess(std::int32_t pid, ReplyBlock reply) { throttle_.throttle(pid, reply); }

void HelperTool::unthrottleProcess(std::int32_t pid, ReplyBlock reply) { throttle_.unthrottle(pid, reply); }

void HelperTool::throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock reply) {
    throttle_.throttleMultiple(pids, std::move(reply));
}

void HelperTool::unthrottleAllProcesses(ReplyBlock reply) { throttle_.unthrottleAll(std::move(reply)); }

void HelperTool::ping(PingReplyBlock reply) { reply(true); }

void HelperTool::updateJailedBundleIDs(std::vector<std::string> bundleIDs, ReplyBlock reply) {
    jail_.update(std::move(bundleIDs), reply);
}

void HelperTool::setBeastMode(bool enabled, std::int32_t focusPID, ReplyBlock reply) {
    beast_.set(enabled, focusPID, std::move(reply));
}

void HelperTool::setFanControlMode(std::int64_t fanIndex, bool isManual, ReplyBlock reply) {
    fans_.setControlMode(fanIndex, isManual, reply);
}

void HelperTool::setFanTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM, ReplyBlock reply) {
    fans_.setTargetRPM(fanIndex, targetRPM, reply);
}

}  // namespace korvane::helper
