// Key codes and value encodings: the byte-level contract every driver and the
// real SMC share.
#include <gtest/gtest.h>

#include <limits>

#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FourCharCode, EncodesMostSignificantFirstPaddedWithSpacesAndDecodesBack) {
    EXPECT_EQ(SMCBridge::stringToFourCC("F0Ac"), 0x46304163u);
    EXPECT_EQ(SMCBridge::stringToFourCC("ui8"), SMCBridge::stringToFourCC("ui8 "));
    EXPECT_EQ(SMCBridge::stringToFourCC(""), 0x20202020u);
    EXPECT_EQ(SMCBridge::stringToFourCC("F12Md"), SMCBridge::stringToFourCC("F12M"));
    EXPECT_EQ(SMCBridge::fourCCToString(0x666C7420u), "flt ");
    EXPECT_EQ(SMCBridge::fourCCToString(0x00410042u), "AB");         // zero bytes skipped
    EXPECT_EQ(SMCBridge::fourCCToString(0x54E90000u), "T\u00e9");    // high bytes are Latin-1
}

TEST(SMCValueDecoding, EveryTypeRowAndTooFewBytes) {
    const std::tuple<const char*, Bytes, float> rows[] = {
        {"fpe2", {0x1F, 0x40}, 2000.0f},
        {"ui16", {0x1F, 0x40}, 8000.0f},
        {"ui8 ", {0xC8, 0xFF}, 200.0f},
        {"sp78", {0x2D, 0x80}, 45.5f},
        {"sp78", {0xFF, 0x00}, -1.0f},
        {"flt ", {0x00, 0x00, 0xFA, 0x44}, 2000.0f},
        {"ch8*", {0x01, 0x02, 0x00, 0x00, 0x09}, 513.0f},  // other, 4 or more: little-endian 32-bit
        {"ch8*", {0x01, 0x02, 0x03}, 258.0f},              // other, 2 or 3: big-endian 16-bit
        {"flag", {0x07}, 7.0f},
    };
    for (const auto& [type, bytes, expected] : rows) {
        EXPECT_FLOAT_EQ(smc_codec::decodeValue(type, bytes).value(), expected) << type;
    }
    for (auto [type, size] : {std::pair{"fpe2", 1}, {"sp78", 1}, {"flt ", 3}, {"ui8 ", 0}, {"????", 0}}) {
        EXPECT_EQ(smc_codec::decodeValue(type, Bytes(static_cast<std::size_t>(size), 0x10)).error(),
                  SMCError::readFailed)
            << type;
    }
}

TEST(SMCValueEncoding, WritableTypesTruncateTowardZero) {
    EXPECT_EQ(smc_codec::encodeValue("fpe2", 2000.0f).value(), (Bytes{0x1F, 0x40}));
    EXPECT_EQ(smc_codec::encodeValue("ui16", 2500.9f).value(), (Bytes{0x09, 0xC4}));
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", 255.9f).value(), (Bytes{0xFF}));
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", -0.9f).value(), (Bytes{0x00}));
    EXPECT_EQ(smc_codec::encodeValue("fpe2", 16383.75f).value(), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(smc_codec::encodeValue("flt ", 2000.0f).value(), (Bytes{0x00, 0x00, 0xFA, 0x44}));
}

TEST(SMCValueEncoding, ValuesTheTypeCannotHoldAreRefusedNotWrapped) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<const char*, float> refused[] = {
        {"ui8 ", -1.0f}, {"ui8 ", 256.0f},   {"ui8 ", nan},  {"ui16", 65536.0f},
        {"fpe2", -0.25f} /* -1 after scaling */, {"fpe2", 16384.0f} /* 65536 */, {"fpe2", inf},
        {"flt ", nan},   {"sp78", 40.0f},    {"ch8*", 1.0f},
    };
    for (auto [type, value] : refused) {
        EXPECT_EQ(smc_codec::encodeValue(type, value).error(), SMCError::writeFailed) << type << " " << value;
    }
}

}  // namespace
}  // namespace korvane
