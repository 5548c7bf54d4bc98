#include "shared/protocol/messages.h"

#include <type_traits>
#include <utility>

namespace korvane::msg {

std::string_view selectorOf(const Call& call) {
    return std::visit([](const auto& m) { return std::decay_t<decltype(m)>::selector; }, call);
}

bool answersWithPingShape(const Call& call) {
    return std::visit(
        [](const auto& m) { return std::is_same_v<ReplyBlockOf<std::decay_t<decltype(m)>>, PingReplyBlock>; }, call);
}

void dispatch(KorvaneXPCProtocol& target, Call call, std::function<void(Reply)> done) {
    std::visit(
        [&](auto&& m) {
            using M = std::decay_t<decltype(m)>;
            ReplyBlockOf<M> reply;
            if constexpr (std::is_same_v<ReplyBlockOf<M>, PingReplyBlock>) {
                reply = [done](bool alive) { done(Reply{alive, false, std::nullopt}); };
            } else {
                reply = [done](bool success, std::optional<std::string> message) {
                    // The message is absent on every success, whatever the implementation passed.
                    if (success) message.reset();
                    done(Reply{success, true, std::move(message)});
                };
            }
            std::apply([&](auto... field) { (target.*M::method)(std::move(m.*field)..., std::move(reply)); },
                       M::fields);
        },
        std::move(call));
}

}  // namespace korvane::msg
