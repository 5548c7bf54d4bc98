#include "shared/smc/smc_value_codec.h"

#include <bit>
#include <cmath>

namespace korvane::smc_codec {
namespace {

std::uint32_t bigEndian16(std::span<const std::uint8_t> b) {
    return (std::uint32_t{b[0]} << 8) | b[1];
}

std::uint32_t littleEndian32(std::span<const std::uint8_t> b) {
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
}

float littleEndianFloat(std::span<const std::uint8_t> b) {
    return std::bit_cast<float>(littleEndian32(b));
}

float sp78(std::span<const std::uint8_t> b) {
    return static_cast<float>(static_cast<std::int8_t>(b[0])) + static_cast<float>(b[1]) / 256.0f;
}

// The integer the value truncates to, when it lies in [0, limit).
std::optional<std::uint32_t> truncatedInRange(double value, double limit) {
    if (!std::isfinite(value)) return std::nullopt;
    double truncated = std::trunc(value);
    if (truncated < 0.0 || truncated >= limit) return std::nullopt;
    return static_cast<std::uint32_t>(truncated);
}

}  // namespace

Expected<float, SMCError> decodeValue(std::string_view type, std::span<const std::uint8_t> bytes) {
    auto need = [&](std::size_t count) { return bytes.size() >= count; };
    if (type == "fpe2") {
        if (!need(2)) return unexpected(SMCError::readFailed);
        return static_cast<float>(bigEndian16(bytes)) / 4.0f;
    }
    if (type == "ui16") {
        if (!need(2)) return unexpected(SMCError::readFailed);
        return static_cast<float>(bigEndian16(bytes));
    }
    if (type == "ui8 ") {
        if (!need(1)) return unexpected(SMCError::readFailed);
        return static_cast<float>(bytes[0]);
    }
    if (type == "sp78") {
        if (!need(2)) return unexpected(SMCError::readFailed);
        return sp78(bytes);
    }
    if (type == "flt ") {
        if (!need(4)) return unexpected(SMCError::readFailed);
        return littleEndianFloat(bytes);
    }
    if (need(4)) return static_cast<float>(littleEndian32(bytes));
    if (need(2)) return static_cast<float>(bigEndian16(bytes));
    if (need(1)) return static_cast<float>(bytes[0]);
    return unexpected(SMCError::readFailed);
}

std::optional<float> decodeTemperature(std::string_view type, std::span<const std::uint8_t> bytes) {
    if (type == "flt ") {
        if (bytes.size() < 4) return std::nullopt;
        return littleEndianFloat(bytes);
    }
    if (bytes.size() < 2) return std::nullopt;
    return sp78(bytes);
}

std::vector<std::uint8_t> floatBytes(float value) {
    auto bits = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

Expected<std::vector<std::uint8_t>, SMCError> encodeValue(std::string_view type, float value) {
    auto bigEndian = [](std::uint32_t v) {
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    };
    if (type == "fpe2") {
        auto scaled = truncatedInRange(static_cast<double>(value) * 4.0, 65536.0);
        if (!scaled) return unexpected(SMCError::writeFailed);
        return bigEndian(*scaled);
    }
    if (type == "ui16") {
        auto integer = truncatedInRange(value, 65536.0);
        if (!integer) return unexpected(SMCError::writeFailed);
        return bigEndian(*integer);
    }
    if (type == "ui8 ") {
        auto integer = truncatedInRange(value, 256.0);
        if (!integer) return unexpected(SMCError::writeFailed);
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(*integer)};
    }
    if (type == "flt ") {
        if (!std::isfinite(value)) return unexpected(SMCError::writeFailed);
        return floatBytes(value);
    }
    return unexpected(SMCError::writeFailed);
}

}  // namespace korvane::smc_codec
