#include "shared/protocol/messages.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// Records which method a message reached and with what, answering each with
// a failure that carries a message, or with success and a message that must
// not survive.
class RecordingProtocol final : public KorvaneXPCProtocol {
public:
    std::string seen;
    bool succeed = false;

    void throttleProcess(std::int32_t pid, ReplyBlock r) override { answer("throttle " + std::to_string(pid), r); }
    void unthrottleProcess(std::int32_t pid, ReplyBlock r) override { answer("unthrottle " + std::to_string(pid), r); }
    void throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock r) override {
        answer("throttleMany " + std::to_string(pids.size()), r);
    }
    void unthrottleAllProcesses(ReplyBlock r) override { answer("unthrottleAll", r); }
    void ping(PingReplyBlock r) override {
        seen = "ping";
        r(true);
    }
    void updateJailedBundleIDs(std::vector<std::string> ids, ReplyBlock r) override { answer("jail " + ids.at(0), r); }
    void setBeastMode(bool on, std::int32_t pid, ReplyBlock r) override {
        answer("beast " + std::to_string(on) + " " + std::to_string(pid), r);
    }
    void setFanControlMode(std::int64_t fan, bool manual, ReplyBlock r) override {
        answer("fanMode " + std::to_string(fan) + " " + std::to_string(manual), r);
    }
    void setFanTargetRPM(std::int64_t fan, std::int64_t rpm, ReplyBlock r) override {
        answer("fanTarget " + std::to_string(fan) + " " + std::to_string(rpm), r);
    }

private:
    void answer(std::string what, const ReplyBlock& r) {
        seen = std::move(what);
        r(succeed, "said: " + seen);
    }
};

// The table ties each message to its method and its arguments to the
// method's parameters in order; two arguments of one type swapped would
// still round-trip through the codec, so the dispatch is checked here.
TEST(Dispatch, EveryMessageReachesItsMethodWithItsArgumentsInOrder) {
    const std::vector<std::pair<msg::Call, std::string>> cases = {
        {msg::ThrottleProcess{42}, "throttle 42"},
        {msg::UnthrottleProcess{43}, "unthrottle 43"},
        {msg::ThrottleMultipleProcesses{{1, 2, 3}}, "throttleMany 3"},
        {msg::UnthrottleAllProcesses{}, "unthrottleAll"},
        {msg::UpdateJailedBundleIDs{{"org.example.A"}}, "jail org.example.A"},
        {msg::SetBeastMode{true, 7}, "beast 1 7"},
        {msg::SetFanControlMode{1, true}, "fanMode 1 1"},
        {msg::SetFanTargetRPM{1, 2500}, "fanTarget 1 2500"},
    };
    RecordingProtocol target;
    for (const auto& [call, expected] : cases) {
        SCOPED_TRACE(std::string(msg::selectorOf(call)));
        std::optional<msg::Reply> reply;
        msg::dispatch(target, call, [&](msg::Reply r) { reply = r; });
        EXPECT_EQ(target.seen, expected);
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply, (msg::Reply{false, true, "said: " + expected}));
        EXPECT_FALSE(msg::answersWithPingShape(call));
    }
}

TEST(Dispatch, SuccessDropsTheMessageAndPingAnswersWithoutASlot) {
    RecordingProtocol target;
    target.succeed = true;
    std::optional<msg::Reply> reply;
    msg::dispatch(target, msg::ThrottleProcess{1}, [&](msg::Reply r) { reply = r; });
    EXPECT_EQ(*reply, (msg::Reply{true, true, std::nullopt}));

    msg::dispatch(target, msg::Ping{}, [&](msg::Reply r) { reply = r; });
    EXPECT_TRUE(msg::answersWithPingShape(msg::Ping{}));
    EXPECT_EQ(*reply, (msg::Reply{true, false, std::nullopt}));
}

}  // namespace
}  // namespace korvane
