// Value encodings of the two types a Linux machine's keys have, "flt " and
// "ui8 ": the byte-level contract between the bridge and the driver. (The
// bridge over the hwmon driver is the hwmon tests'.)
#include <gtest/gtest.h>

#include <limits>

#include "shared/smc/smc_value_codec.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SMCValueCodec, DecodesBothTypesAndRefusesTooFewBytes) {
    EXPECT_FLOAT_EQ(smc_codec::decodeValue("flt ", Bytes{0x00, 0x00, 0xFA, 0x44}).value(), 2000.0f);
    EXPECT_FLOAT_EQ(smc_codec::decodeValue("ui8 ", Bytes{0xC8, 0xFF}).value(), 200.0f);
    for (auto [type, size] : {std::pair{"flt ", 3}, {"ui8 ", 0}, {"????", 0}}) {
        EXPECT_EQ(smc_codec::decodeValue(type, Bytes(static_cast<std::size_t>(size), 0x10)).error(),
                  SMCError::readFailed)
            << type;
    }
}

TEST(SMCValueCodec, EncodesTowardZeroAndRefusesWhatTheTypeCannotHoldRatherThanWrapIt) {
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", 255.9f).value(), (Bytes{0xFF}));
    EXPECT_EQ(smc_codec::encodeValue("ui8 ", -0.9f).value(), (Bytes{0x00}));
    EXPECT_EQ(smc_codec::encodeValue("flt ", 2000.0f).value(), (Bytes{0x00, 0x00, 0xFA, 0x44}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::pair<const char*, float> refused[] = {
        {"ui8 ", -1.0f}, {"ui8 ", 256.0f}, {"ui8 ", nan}, {"flt ", nan}, {"ch8*", 1.0f},
    };
    for (auto [type, value] : refused) {
        EXPECT_EQ(smc_codec::encodeValue(type, value).error(), SMCError::writeFailed) << type << " " << value;
    }
}

}  // namespace
}  // namespace korvane
