#pragma once
// The protocol's table: each of the nine messages is a plain value that
// describes itself once: the selector it carries on the wire, its arguments
// in wire order (`fields`), and the method of KorvaneXPCProtocol it calls
// (`method`). The codec, its argument checks and the dispatcher are generic
// over this table, so a new method is a new row here, its handler and its
// client call.
#include <cstdint>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>
#include <vector>

#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::msg {

struct ThrottleProcess {
    std::int32_t pid;
    static constexpr std::string_view selector = "throttleProcessWithPid:withReply:";
    static constexpr auto fields = std::tuple{&ThrottleProcess::pid};
    static constexpr auto method = &KorvaneXPCProtocol::throttleProcess;
    bool operator==(const ThrottleProcess&) const = default;
};
struct UnthrottleProcess {
    std::int32_t pid;
    static constexpr std::string_view selector = "unthrottleProcessWithPid:withReply:";
    static constexpr auto fields = std::tuple{&UnthrottleProcess::pid};
    static constexpr auto method = &KorvaneXPCProtocol::unthrottleProcess;
    bool operator==(const UnthrottleProcess&) const = default;
};
struct ThrottleMultipleProcesses {
    std::vector<std::int32_t> pids;
    static constexpr std::string_view selector = "throttleMultipleProcessesWithPids:withReply:";
    static constexpr auto fields = std::tuple{&ThrottleMultipleProcesses::pids};
    static constexpr auto method = &KorvaneXPCProtocol::throttleMultipleProcesses;
    bool operator==(const ThrottleMultipleProcesses&) const = default;
};
struct UnthrottleAllProcesses {
    static constexpr std::string_view selector = "unthrottleAllProcessesWithReply:";
    static constexpr std::tuple<> fields{};
    static constexpr auto method = &KorvaneXPCProtocol::unthrottleAllProcesses;
    bool operator==(const UnthrottleAllProcesses&) const = default;
};
struct Ping {
    static constexpr std::string_view selector = "pingWithReply:";
    static constexpr std::tuple<> fields{};
    static constexpr auto method = &KorvaneXPCProtocol::ping;
    bool operator==(const Ping&) const = default;
};
// The most bundle IDs one jail list may hold; the helper refuses a longer one.
inline constexpr std::size_t kMaxJailedBundleIDs = 1024;
struct UpdateJailedBundleIDs {
    std::vector<std::string> bundleIDs;
    static constexpr std::string_view selector = "updateJailedBundleIDs:withReply:";
    static constexpr auto fields = std::tuple{&UpdateJailedBundleIDs::bundleIDs};
    static constexpr auto method = &KorvaneXPCProtocol::updateJailedBundleIDs;
    bool operator==(const UpdateJailedBundleIDs&) const = default;
};
struct SetBeastMode {
    bool enabled;
    std::int32_t focusPID;
    static constexpr std::string_view selector = "setBeastModeWithEnabled:focusPID:withReply:";
    static constexpr auto fields = std::tuple{&SetBeastMode::enabled, &SetBeastMode::focusPID};
    static constexpr auto method = &KorvaneXPCProtocol::setBeastMode;
    bool operator==(const SetBeastMode&) const = default;
};
struct SetFanControlMode {
    std::int64_t fanIndex;
    bool isManual;
    static constexpr std::string_view selector = "setFanControlModeWithFanIndex:isManual:withReply:";
    static constexpr auto fields = std::tuple{&SetFanControlMode::fanIndex, &SetFanControlMode::isManual};
    static constexpr auto method = &KorvaneXPCProtocol::setFanControlMode;
    bool operator==(const SetFanControlMode&) const = default;
};
struct SetFanTargetRPM {
    std::int64_t fanIndex;
    std::int64_t targetRPM;
    static constexpr std::string_view selector = "setFanTargetRPMWithFanIndex:targetRPM:withReply:";
    static constexpr auto fields = std::tuple{&SetFanTargetRPM::fanIndex, &SetFanTargetRPM::targetRPM};
    static constexpr auto method = &KorvaneXPCProtocol::setFanTargetRPM;
    bool operator==(const SetFanTargetRPM&) const = default;
};

// In protocol order; the variant index plus one is the method number.
using Call = std::variant<ThrottleProcess, UnthrottleProcess, ThrottleMultipleProcesses,
                          UnthrottleAllProcesses, Ping, UpdateJailedBundleIDs, SetBeastMode,
                          SetFanControlMode, SetFanTargetRPM>;

// The reply block a message's method takes: ping answers with `alive`
// alone, every other method with (success, message).
template <class Method>
struct ReplyBlockOfMethod;
template <class... Arguments>
struct ReplyBlockOfMethod<void (KorvaneXPCProtocol::*)(Arguments...)> {
    using type = std::tuple_element_t<sizeof...(Arguments) - 1, std::tuple<Arguments...>>;
};
template <class Message>
using ReplyBlockOf = typename ReplyBlockOfMethod<std::remove_const_t<decltype(Message::method)>>::type;

std::string_view selectorOf(const Call& call);
bool answersWithPingShape(const Call& call);

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
