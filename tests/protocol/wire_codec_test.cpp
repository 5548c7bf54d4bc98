#include "shared/protocol/wire_codec.h"

#include <gtest/gtest.h>

#include <limits>

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

TEST(WireCodec, RepliesKeepTheirShapeAndMessage) {
    const std::vector<msg::Reply> replies = {
        {true, true, std::nullopt},
        {false, true, "PID 3: taskpolicy failed for PID 3 with exit code 1: "},
        {false, true, std::nullopt},
        {true, false, std::nullopt},  // ping: alive
        {false, false, std::nullopt},
    };
    for (const auto& reply : replies) {
        auto decoded = wire::decodeReply(payloadOf(wire::encodeReply(0xFFFFFFFFFFFFFFFFull, reply)));
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(decoded->id, 0xFFFFFFFFFFFFFFFFull);
        EXPECT_EQ(decoded->reply, reply);
    }
}

// Each case is one way a peer could lie about a message; all must be refused.
TEST(WireCodec, RefusesAnythingThatIsNotExactlyAMessage) {
    std::string good = payloadOf(wire::encodeRequest(9, msg::SetBeastMode{true, 10}));
    auto refused = [](std::string payload) { return !wire::decodeRequest(payload).has_value(); };

    EXPECT_FALSE(refused(good));
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused(good.substr(0, good.size() - 1))) << "truncated";
    EXPECT_TRUE(refused(good + "x")) << "trailing bytes";

    std::string badMagic = good;
    badMagic[0] = 'X';
    EXPECT_TRUE(refused(badMagic));
    std::string badVersion = good;
    badVersion[1] = 2;
    EXPECT_TRUE(refused(badVersion));
    std::string reply = payloadOf(wire::encodeReply(9, {true, true, std::nullopt}));
    EXPECT_TRUE(refused(reply)) << "a reply is not a request";

    std::string unknown = good;
    unknown.replace(unknown.find("setBeastMode"), 3, "get");
    auto unknownResult = wire::decodeRequest(unknown);
    ASSERT_FALSE(unknownResult);
    EXPECT_NE(unknownResult.error().find("unknown method"), std::string::npos);

    // The boolean is the first argument: its tag sits right after the argument count.
    std::size_t boolTag = good.find("withReply:") + std::string("withReply:").size() + 1;
    std::string boolAsInt = good;
    boolAsInt[boolTag] = 1;  // int32 tag where a bool belongs
    EXPECT_TRUE(refused(boolAsInt));
    std::string boolOutOfRange = good;
    boolOutOfRange[boolTag + 1] = 2;
    EXPECT_TRUE(refused(boolOutOfRange));
    std::string wrongCount = good;
    wrongCount[boolTag - 1] = 3;
    EXPECT_TRUE(refused(wrongCount));
}

TEST(WireCodec, RefusesStringsThatAreNotCleanUtf8) {
    for (std::string bad : {std::string("a\0b", 3), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
                            std::string("\xF4\x90\x80\x80"), std::string("\xE2\x82")}) {
        auto payload = payloadOf(wire::encodeRequest(1, msg::UpdateJailedBundleIDs{{"ok", bad}}));
        EXPECT_FALSE(wire::decodeRequest(payload)) << "accepted a bad string of " << bad.size() << " bytes";
    }
}

TEST(WireCodec, LimitsFrameSizeAndArrayLength) {
    unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_FALSE(wire::decodeLength(zero));
    unsigned char oneMiB[4] = {0, 0, 0x10, 0};
    EXPECT_TRUE(wire::decodeLength(oneMiB));
    unsigned char overOneMiB[4] = {1, 0, 0x10, 0};
    EXPECT_FALSE(wire::decodeLength(overOneMiB));

    std::vector<std::int32_t> atLimit(wire::kMaxArrayElements, 1);
    EXPECT_TRUE(wire::decodeRequest(payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{atLimit}))));
    atLimit.push_back(1);
    EXPECT_FALSE(wire::decodeRequest(payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{atLimit}))));

    // A count that promises more elements than the bytes that follow must not
    // make the decoder reserve or read past the end.
    std::string lying = payloadOf(wire::encodeRequest(1, msg::ThrottleMultipleProcesses{{1}}));
    lying[lying.size() - 8] = 2;  // count 2, one element present
    EXPECT_FALSE(wire::decodeRequest(lying));
}

}  // namespace
}  // namespace korvane
