#pragma once
// Between the SMC's typed bytes and the 32-bit floats the rest of the system
// works with.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "shared/smc/smc_error.h"
#include "shared/util/expected.h"

namespace korvane::smc_codec {

// A value read with readValue. Too few bytes for the type is readFailed.
Expected<float, SMCError> decodeValue(std::string_view type, std::span<const std::uint8_t> bytes);

// A temperature candidate: "sp78" and "flt " as above, any other type read as
// "sp78" when it has two bytes. Absent when there are too few bytes.
std::optional<float> decodeTemperature(std::string_view type, std::span<const std::uint8_t> bytes);

// The bytes writeValue sends. A type it cannot write, or a value the type
// cannot hold, is writeFailed: a fan must never receive a wrapped-around
// number.
Expected<std::vector<std::uint8_t>, SMCError> encodeValue(std::string_view type, float value);

// Little-endian IEEE-754 single precision, as "flt " values travel.
std::vector<std::uint8_t> floatBytes(float value);

}  // namespace korvane::smc_codec
