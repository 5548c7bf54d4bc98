#pragma once
// The one piece of code that talks to the SMC. Class-level only: one
// connection per process, opened lazily and kept, every exchange serialised by
// one lock. The driver underneath is replaceable; on Linux it is the hwmon
// driver, which tests run over fixture sysfs trees.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "shared/smc/smc_driver.h"
#include "shared/smc/smc_error.h"
#include "shared/util/expected.h"

namespace korvane {

class SMCBridge {
public:
    SMCBridge() = delete;

    static constexpr std::string_view KEY_FAN_COUNT = "FNum";
    static constexpr std::string_view KEY_FAN0_ACTUAL_RPM = "F0Ac";
    static constexpr std::string_view KEY_FAN0_TARGET_RPM = "F0Tg";
    static constexpr std::string_view KEY_FAN0_MODE = "F0Md";
    static constexpr std::string_view KEY_FAN0_MIN_RPM = "F0Mn";
    static constexpr std::string_view KEY_FAN0_MAX_RPM = "F0Mx";
    static constexpr std::string_view KEY_CPU_TEMP = "Tp0P";
    // Tried in this order; Apple Silicon keys first, Intel Mac keys last.
    static constexpr std::array<std::string_view, 10> CPU_TEMP_KEYS = {
        "Tp09", "Tp05", "Tp01", "Tp0D", "Tp0P", "TCHP", "TCMb", "TW0P", "TC0P", "TC0p"};

    static constexpr std::string_view kServiceName = "AppleSMCKeysEndpoint";
    static constexpr std::string_view kFallbackServiceName = "AppleSMC";

    // Installs the driver every later exchange goes through. A connection open
    // on the previous driver is closed first.
    static void setDriver(std::shared_ptr<SMCDriver> driver);

    // Whether a connection is open afterwards, opening it if needed.
    static bool open();
    static void close();
    static Expected<float, SMCError> readValue(std::string_view key);
    static Expected<Done, SMCError> writeValue(std::string_view key, float value);
    // The first plausible CPU temperature in °C, or 0 when none answers.
    static float readCPUTemperature();

    // The key encoding. Pure; no lock needed.
    static std::uint32_t stringToFourCC(std::string_view text);
    static std::string fourCCToString(std::uint32_t code);

    // For callers that must open the connection as a step of their own (the
    // helper's fan commands): hold ioLock() while calling openUnsafe(), and
    // never call a public operation while holding it; the lock is not
    // re-entrant.
    static std::mutex& ioLock();
    static bool openUnsafe();

private:
    struct KeyInfo {
        std::string type;
        std::uint32_t size = 0;
    };

    static Expected<KeyInfo, SMCError> getInfoUnsafe(std::string_view key);
    static Expected<std::vector<std::uint8_t>, SMCError> readBytesUnsafe(std::string_view key,
                                                                       std::uint32_t expectedSize);
    static Expected<Done, SMCError> writeBytesUnsafe(std::string_view key, const std::vector<std::uint8_t>& bytes);
    // One exchange on the open connection; absent when it did not go through.
    static Expected<SMCParamStruct, SMCDriverFailure> exchangeUnsafe(const SMCParamStruct& request);

    static inline std::uint32_t connection = 0;
    static inline std::shared_ptr<SMCDriver> driver;
};

}  // namespace korvane
