#pragma once
// The nine protocol messages as plain values, with the selector each one
// carries on the wire.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::msg {

struct ThrottleProcess {
    std::int32_t pid;
    static constexpr std::string_view selector = "throttleProcessWithPid:withReply:";
    bool operator==(const ThrottleProcess&) const = default;
};
struct UnthrottleProcess {
    std::int32_t pid;
    static constexpr std::string_view selector = "unthrottleProcessWithPid:withReply:";
    bool operator==(const UnthrottleProcess&) const = default;
};
struct ThrottleMultipleProcesses {
    std::vector<std::int32_t> pids;
    static constexpr std::string_view selector = "throttleMultipleProcessesWithPids:withReply:";
    bool operator==(const ThrottleMultipleProcesses&) const = default;
};
struct UnthrottleAllProcesses {
    static constexpr std::string_view selector = "unthrottleAllProcessesWithReply:";
    bool operator==(const UnthrottleAllProcesses&) const = default;
};
struct Ping {
    static constexpr std::string_view selector = "pingWithReply:";
    bool operator==(const Ping&) const = default;
};
struct UpdateJailedBundleIDs {
    std::vector<std::string> bundleIDs;
    static constexpr std::string_view selector = "updateJailedBundleIDs:withReply:";
    bool operator==(const UpdateJailedBundleIDs&) const = default;
};
struct SetBeastMode {
    bool enabled;
    std::int32_t focusPID;
    static constexpr std::string_view selector = "setBeastModeWithEnabled:focusPID:withReply:";
    bool operator==(const SetBeastMode&) const = default;
};
struct SetFanControlMode {
    std::int64_t fanIndex;
    bool isManual;
    static constexpr std::string_view selector = "setFanControlModeWithFanIndex:isManual:withReply:";
    bool operator==(const SetFanControlMode&) const = default;
};
struct SetFanTargetRPM {
    std::int64_t fanIndex;
    std::int64_t targetRPM;
    static constexpr std::string_view selector = "setFanTargetRPMWithFanIndex:targetRPM:withReply:";
    bool operator==(const SetFanTargetRPM&) const = default;
};

// In protocol order; the variant index plus one is the method number.
using Call = std::variant<ThrottleProcess, UnthrottleProcess, ThrottleMultipleProcesses,
                          UnthrottleAllProcesses, Ping, UpdateJailedBundleIDs, SetBeastMode,
                          SetFanControlMode, SetFanTargetRPM>;

std::string_view selectorOf(const Call& call);
inline bool answersWithPingShape(const Call& call) { return std::holds_alternative<Ping>(call); }

// A reply as it crosses the wire. A ping reply has no message slot at all;
// every other reply carries (success, optional message).
struct Reply {
    bool success = false;
    bool hasMessageSlot = true;
    std::optional<std::string> message;
    bool operator==(const Reply&) const = default;
};

// Sends `call` to `target`, handing the answer to `done` as a Reply.
void dispatch(KorvaneXPCProtocol& target, Call call, std::function<void(Reply)> done);

}  // namespace korvane::msg
