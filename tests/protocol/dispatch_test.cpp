#include "shared/protocol/messages.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_helper_protocol.h"

namespace korvane {
namespace {

// The table ties each message to its method and its arguments to the
// method's parameters in order; two arguments of one type swapped would
// still round-trip through the codec, so the dispatch is checked here. A
// failure keeps its text; a success drops whatever text came with it.
TEST(Dispatch, EveryMessageReachesItsMethodWithItsArgumentsInOrder) {
    const std::vector<std::pair<msg::Call, std::string>> cases = {
        {msg::ThrottleProcess{42}, "throttle 42"},
        {msg::UnthrottleProcess{43}, "unthrottle 43"},
        {msg::ThrottleMultipleProcesses{{1, 2, 3}}, "throttleMultiple [ 1 2 3 ]"},
        {msg::UnthrottleAllProcesses{}, "unthrottleAll"},
        {msg::UpdateJailedBundleIDs{{"org.example.A", "b"}}, "jail [ org.example.A b ]"},
        {msg::SetBeastMode{true, 7}, "beast on 7"},
        {msg::SetFanControlMode{1, true}, "fanMode 1 manual"},
        {msg::SetFanTargetRPM{1, 2500}, "fanRPM 1 2500"},
    };
    testing::FakeHelper target;
    target.successNote = "must not survive";
    std::optional<msg::Reply> reply;
    auto keep = [&](msg::Reply r) { reply = r; };
    for (const auto& [call, expected] : cases) {
        SCOPED_TRACE(std::string(msg::selectorOf(call)));
        target.fail(expected, "said: " + expected);
        msg::dispatch(target, call, keep);
        EXPECT_EQ(target.commands().back(), expected);
        EXPECT_EQ(reply, (msg::Reply{false, true, "said: " + expected}));
        target.clearFailures();
        msg::dispatch(target, call, keep);
        EXPECT_EQ(reply, (msg::Reply{true, true, std::nullopt}));
        EXPECT_FALSE(msg::answersWithPingShape(call));
    }
    msg::dispatch(target, msg::Ping{}, keep);
    EXPECT_TRUE(msg::answersWithPingShape(msg::Ping{}));
    EXPECT_EQ(reply, (msg::Reply{true, false, std::nullopt}));
}

}  // namespace
}  // namespace korvane
