#pragma once
// The one interface between Korvane and KorvaneHelper: nine methods, each
// answered exactly once. The helper implements it; clients reach it through
// HelperConnection.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// (success, message): the message is absent on every success.
using ReplyBlock = std::function<void(bool success, std::optional<std::string> message)>;
using PingReplyBlock = std::function<void(bool alive)>;

class KorvaneXPCProtocol {
public:
    virtual ~KorvaneXPCProtocol() = default;

    virtual void throttleProcess(std::int32_t pid, ReplyBlock reply) = 0;
    virtual void unthrottleProcess(std::int32_t pid, ReplyBlock reply) = 0;
    virtual void throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock reply) = 0;
    virtual void unthrottleAllProcesses(ReplyBlock reply) = 0;
    virtual void ping(PingReplyBlock reply) = 0;
    virtual void updateJailedBundleIDs(std::vector<std::string> bundleIDs, ReplyBlock reply) = 0;
    virtual void setBeastMode(bool enabled, std::int32_t focusPID, ReplyBlock reply) = 0;
    virtual void setFanControlMode(std::int64_t fanIndex, bool isManual, ReplyBlock reply) = 0;
    virtual void setFanTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM, ReplyBlock reply) = 0;
};

}  // namespace korvane
