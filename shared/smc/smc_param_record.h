#pragma once
// The 80-byte record exchanged with the SMC driver, in the machine's own
// (little-endian) byte order. Every driver, real or simulated, speaks it.
#include <cstddef>
#include <cstdint>

namespace korvane {

struct SMCParamStruct {
    std::uint32_t key = 0;               // four-character code
    std::uint8_t versionInfo[6] = {};
    std::uint8_t alignment0[2] = {};
    std::uint8_t powerLimits[16] = {};
    std::uint32_t dataSize = 0;          // value size in bytes
    std::uint32_t dataType = 0;          // four-character code of the type
    std::uint8_t dataAttributes = 0;
    std::uint8_t alignment1[3] = {};
    std::uint8_t result = 0;             // 0: the driver carried the command out
    std::uint8_t status = 0;
    std::uint8_t command = 0;
    std::uint8_t alignment2 = 0;
    std::uint32_t data32 = 0;
    std::uint8_t bytes[32] = {};
};

static_assert(sizeof(SMCParamStruct) == 80);
static_assert(offsetof(SMCParamStruct, key) == 0);
static_assert(offsetof(SMCParamStruct, versionInfo) == 4);
static_assert(offsetof(SMCParamStruct, powerLimits) == 12);
static_assert(offsetof(SMCParamStruct, dataSize) == 28);
static_assert(offsetof(SMCParamStruct, dataType) == 32);
static_assert(offsetof(SMCParamStruct, dataAttributes) == 36);
static_assert(offsetof(SMCParamStruct, result) == 40);
static_assert(offsetof(SMCParamStruct, status) == 41);
static_assert(offsetof(SMCParamStruct, command) == 42);
static_assert(offsetof(SMCParamStruct, data32) == 44);
static_assert(offsetof(SMCParamStruct, bytes) == 48);

namespace smc_command {
inline constexpr std::uint8_t kReadKey = 5;
inline constexpr std::uint8_t kWriteKey = 6;
inline constexpr std::uint8_t kGetKeyInfo = 9;
}  // namespace smc_command

// Result bytes a driver puts into a reply. The bridge only distinguishes zero
// from the rest; the values follow the SMC's own so traces read naturally.
namespace smc_result {
inline constexpr std::uint8_t kSuccess = 0x00;
inline constexpr std::uint8_t kError = 0x01;
inline constexpr std::uint8_t kBadCommand = 0x82;
inline constexpr std::uint8_t kKeyNotFound = 0x84;
inline constexpr std::uint8_t kKeyNotWritable = 0x86;
inline constexpr std::uint8_t kKeySizeMismatch = 0x87;
}  // namespace smc_result

}  // namespace korvane
