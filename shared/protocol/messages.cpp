#include "shared/protocol/messages.h"

#include <type_traits>
#include <utility>

namespace korvane::msg {

std::string_view selectorOf(const Call& call) {
    return std::visit([](const auto& m) { return std::decay_t<decltype(m)>::selector; }, call);
}

void dispatch(KorvaneXPCProtocol& target, Call call, std::function<void(Reply)> done) {
    ReplyBlock reply = [done](bool success, std::optional<std::string> message) {
        // The message is absent on every success, whatever the implementation passed.
        if (success) message.reset();
        done(Reply{success, true, std::move(message)});
    };
    std::visit(
        [&](auto&& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, ThrottleProcess>) {
                target.throttleProcess(m.pid, reply);
            } else if constexpr (std::is_same_v<M, UnthrottleProcess>) {
                target.unthrottleProcess(m.pid, reply);
            } else if constexpr (std::is_same_v<M, ThrottleMultipleProcesses>) {
                target.throttleMultipleProcesses(std::move(m.pids), reply);
            } else if constexpr (std::is_same_v<M, UnthrottleAllProcesses>) {
                target.unthrottleAllProcesses(reply);
            } else if constexpr (std::is_same_v<M, Ping>) {
                target.ping([done](bool alive) { done(Reply{alive, false, std::nullopt}); });
            } else if constexpr (std::is_same_v<M, UpdateJailedBundleIDs>) {
                target.updateJailedBundleIDs(std::move(m.bundleIDs), reply);
            } else if constexpr (std::is_same_v<M, SetBeastMode>) {
                target.setBeastMode(m.enabled, m.focusPID, reply);
            } else if constexpr (std::is_same_v<M, SetFanControlMode>) {
                target.setFanControlMode(m.fanIndex, m.isManual, reply);
            } else {
                static_assert(std::is_same_v<M, SetFanTargetRPM>);
                target.setFanTargetRPM(m.fanIndex, m.targetRPM, reply);
            }
        },
        std::move(call));
}

}  // namespace korvane::msg
