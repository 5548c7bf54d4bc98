// The protocol as one table: the wire codec of its messages and the dispatch
// of each message to its method.
#include <gtest/gtest.h>

#include <limits>

#include "shared/protocol/messages.h"
#include "shared/protocol/wire_codec.h"
#include "tests/fakes/fake_helper_protocol.h"

namespace korvane {
namespace {

std::string payloadOf(const std::string& frame) { return frame.substr(wire::kLengthPrefixBytes); }

TEST(WireCodec, EveryMethodRoundTripsWithItsExactArguments) {
    const std::vector<msg::Call> calls = {
        msg::ThrottleProcess{std::numeric_limits<std::int32_t>::min()},
        msg::UnthrottleProcess{std::numeric_limits<std::int32_t>::max()},
        msg::ThrottleMultipleProcesses{{3, -1, 0, 3}},
        msg::ThrottleMultipleProcesses{{}},
        msg::UnthrottleAllProcesses{},
        msg::Ping{},
        msg::UpdateJailedBundleIDs{{"org.gnome.Calculator", "", "çalışma.app", "org.gnome.Calculator"}},
        msg::SetBeastMode{true, 4242},
        msg::SetBeastMode{false, -7},
        msg::SetFanControlMode{std::numeric_limits<std::int64_t>::max(), true},
        msg::SetFanTargetRPM{-1, std::numeric_limits<std::int64_t>::min()},
    };
    std::uint64_t id = 1;
    for (const auto& call : calls) {
        auto decoded = wire::decodeRequest(payloadOf(wire::encodeRequest(id, call)));
        ASSERT_TRUE(decoded) << msg::selectorOf(call) << ": " << decoded.error();
        EXPECT_EQ(decoded->id, id);
        EXPECT_EQ(decoded->call, call) << msg::selectorOf(call);
        ++id;
    }
}

// Each row is one way a peer could lie about a message; all must be refused.
TEST(WireCodec, RefusesAnythingThatIsNotExactlyAMessage) {
    const std::string good = payloadOf(wire::encodeRequest(9, msg::SetBeastMode{true, 10}));
    ASSERT_TRUE(wire::decodeRequest(good));
    auto with = [&good](std::size_t at, char byte) {
        std::string lie = good;
        lie[at] = byte;
        return lie;
    };
    // The boolean is the first argument: its tag sits right after the argument count.
    const std::size_t boolTag = good.find("withReply:") + std::string("withReply:").size() + 1;
    std::string unknown = good;
    unknown.replace(unknown.find("setBeastMode"), 3, "get");
    auto jailing = [](std::string id) { return payloadOf(wire::encodeRequest(1, msg::UpdateJailedBundleIDs{{"ok", id}})); };
    std::vector<std::int32_t> overLimit(wire::kMaxArrayElements + 1, 1);
    // A count that promises more elements than the bytes that follow must not
    // make the decoder reserve or read past the end.
    std::string lyingCount = payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{{1}}));
    lyingCount[lyingCount.size() - 8] = 2;

    const std::pair<const char*, std::string> lies[] = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() - 1)},
        {"trailing bytes", good + "x"},
        {"bad magic", with(0, 'X')},
        {"bad version", with(1, 2)},
        {"a reply", payloadOf(wire::encodeReply(9, {true, true, std::nullopt}))},
        {"unknown method", unknown},
        {"int32 tag where a bool belongs", with(boolTag, 1)},
        {"bool out of range", with(boolTag + 1, 2)},
        {"wrong argument count", with(boolTag - 1, 3)},
        {"NUL in a string", jailing(std::string("a\0b", 3))},
        {"overlong UTF-8", jailing("\xC0\xAF")},
        {"UTF-16 surrogate", jailing("\xED\xA0\x80")},
        {"beyond U+10FFFF", jailing("\xF4\x90\x80\x80")},
        {"cut UTF-8", jailing("\xE2\x82")},
        {"array over the limit", payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{overLimit}))},
        {"count beyond the bytes", lyingCount},
    };
    for (const auto& [why, payload] : lies) EXPECT_FALSE(wire::decodeRequest(payload)) << why;
}

TEST(WireCodec, AFrameOfOneMiBAndAnArrayAtTheLimitPass) {
    unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_FALSE(wire::decodeLength(zero));
    unsigned char oneMiB[4] = {0, 0, 0x10, 0};
    EXPECT_TRUE(wire::decodeLength(oneMiB));
    unsigned char overOneMiB[4] = {1, 0, 0x10, 0};
    EXPECT_FALSE(wire::decodeLength(overOneMiB));
    std::vector<std::int32_t> atLimit(wire::kMaxArrayElements, 1);
    EXPECT_TRUE(wire::decodeRequest(payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{atLimit}))));
}

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
