// Key codes and value encodings: the byte-level contract every driver and the
// real SMC share.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FourCharCode, KeysAndTypesEncodeMostSignificantFirstPaddedWithSpaces) {
    EXPECT_EQ(SMCBridge::stringToFourCC("F0Ac"), 0x46304163u);
    EXPECT_EQ(SMCBridge::stringToFourCC("ui8"), 0x75693820u);
    EXPECT_EQ(SMCBridge::stringToFourCC("ui8"), SMCBridge::stringToFourCC("ui8 "));
    EXPECT_EQ(SMCBridge::stringToFourCC(""), 0x20202020u);
    // A two-digit fan index does not fit: "F12Md" goes out as "F12M".
    EXPECT_EQ(SMCBridge::stringToFourCC("F12Md"), SMCBridge::stringToFourCC("F12M"));
}

TEST(FourCharCode, DecodingSkipsZeroBytesAndReadsHighBytesAsLatin1) {
    EXPECT_EQ(SMCBridge::fourCCToString(0x666C7420u), "flt ");
    EXPECT_EQ(SMCBridge::fourCCToString(0x00410042u), "AB");
    EXPECT_EQ(SMCBridge::fourCCToString(0x54E90000u), "T\u00e9");
}

struct DecodeRow {
    const char* type;
    Bytes bytes;
    float expected;
};

TEST(SMCValueDecoding, EveryTypeRow) {
    const DecodeRow rows[] = {
        {"fpe2", {0x1F, 0x40}, 2000.0f},
        {"ui16", {0x1F, 0x40}, 8000.0f},
        {"ui8 ", {0xC8, 0xFF}, 200.0f},
        {"sp78", {0x2D, 0x80}, 45.5f},
        {"sp78", {0xFF, 0x00}, -1.0f},
        {"flt ", {0x00, 0x00, 0xFA, 0x44}, 2000.0f},
        {"ch8*", {0x01, 0x02, 0x00, 0x00, 0x09}, 513.0f},  // 4 or more: little-endian 32-bit
        {"ch8*", {0x01, 0x02, 0x03}, 258.0f},              // 2 or 3: big-endian 16-bit
        {"flag", {0x07}, 7.0f},
    };
    for (const auto& row : rows) {
        auto value = smc_codec::decodeValue(row.type, row.bytes);
        ASSERT_TRUE(value.has_value()) << row.type;
        EXPECT_FLOAT_EQ(*value, row.expected) << row.type;
    }
}

TEST(SMCValueDecoding, TooFewBytesForTheTypeIsReadFailed) {
    for (auto [type, size] : {std::pair{"fpe2", 1}, {"ui16", 1}, {"sp78", 1}, {"flt ", 3}, {"ui8 ", 0}, {"????", 0}}) {
        auto value = smc_codec::decodeValue(type, Bytes(static_cast<std::size_t>(size), 0x10));
        ASSERT_FALSE(value.has_value()) << type;
        EXPECT_EQ(value.error(), SMCError::readFailed);
    }
}

TEST(SMCValueDecoding, TemperatureReadsUnknownTypesAsSp78) {
    EXPECT_FLOAT_EQ(*smc_codec::decodeTemperature("ioft", Bytes{0x2D, 0x80, 0x00}), 45.5f);
    EXPECT_FALSE(smc_codec::decodeTemperature("ioft", Bytes{0x2D}).has_value());
    EXPECT_FALSE(smc_codec::decodeTemperature("flt ", Bytes{0, 0, 0x34}).has_value());
}

TEST(SMCValueEncoding, EveryWritableTypeRoundTrips) {
    EXPECT_EQ(smc_codec::encodeValue("fpe2", 2000.0f).value(), (Bytes{0x1F, 0x40}));
    EXPECT_EQ(smc_codec::encodeValue("ui16", 2500.9f).value(), (Bytes{0x09, 0xC4}));  // truncated
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", 1.0f).value(), (Bytes{0x01}));
    EXPECT_EQ(smc_codec::encodeValue("flt ", 2000.0f).value(), (Bytes{0x00, 0x00, 0xFA, 0x44}));
    // Just above -1 still truncates to 0, a value the type can hold.
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", -0.9f).value(), (Bytes{0x00}));
    for (const char* type : {"fpe2", "ui16", "ui8 ", "flt "}) {
        auto bytes = smc_codec::encodeValue(type, 123.0f).value();
        EXPECT_FLOAT_EQ(smc_codec::decodeValue(type, bytes).value(), 123.0f) << type;
    }
}

TEST(SMCValueEncoding, ValuesTheTypeCannotHoldAreRefusedNotWrapped) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<const char*, float> refused[] = {
        {"ui8 ", -1.0f},    {"ui8 ", 256.0f},  {"ui8 ", nan},     {"ui16", 65536.0f}, {"ui16", -5.0f},
        {"fpe2", 16384.0f},  // 65536 after scaling
        {"fpe2", -0.25f},    // -1 after scaling
        {"fpe2", inf},      {"flt ", nan},     {"flt ", -inf},    {"sp78", 40.0f},    {"ch8*", 1.0f},
    };
    for (auto [type, value] : refused) {
        auto bytes = smc_codec::encodeValue(type, value);
        ASSERT_FALSE(bytes.has_value()) << type << " " << value;
        EXPECT_EQ(bytes.error(), SMCError::writeFailed);
    }
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", 255.9f).value(), (Bytes{0xFF}));
    EXPECT_EQ(smc_codec::encodeValue("fpe2", 16383.75f).value(), (Bytes{0xFF, 0xFF}));
}

}  // namespace
}  // namespace korvane
