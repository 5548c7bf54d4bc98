#pragma once
// One hwmon fan as the SMC sees it: actual speed, limits, mode and target,
// whatever the chip underneath offers for control.
#include <cstdint>
#include <optional>
#include <string>

#include "shared/util/expected.h"

namespace korvane::linux_platform {

// How a fan's speed can be set, in the order the chips are recognised.
enum class FanControl {
    none,              // tachometer only, or control not enabled in the driver
    appleSMC,          // applesmc: fanN_manual switches, fanN_output is the target
    macSMCTarget,      // Apple Silicon macsmc: a target in [min, max] is manual, 0 automatic
    closedLoopTarget,  // a writable fanN_target and no pwmN_enable
    pwm,               // pwmN_enable 1 is manual, pwmN is the duty cycle
};

enum class FanMode { automatic, manual };

enum class FanFailure {
    unreadable,       // an attribute could not be read
    rejected,         // the kernel refused the write, or the value is not a speed
    notControllable,  // the fan has no control we can drive
};

// Without fanN_max the duty cycle is scaled up to this speed, the same
// ceiling the fan manager assumes for a fan that reports none.
inline constexpr double kAssumedMaxRPM = 6000.0;

struct FanChannel {
    std::string identity;   // driver name, device path and fan number: stable across boots
    std::string directory;  // where the attribute files are
    int number = 1;         // N of fanN_*
    FanControl control = FanControl::none;
    bool hasMin = false;
    bool hasMax = false;
    // pwm: the pwmN_enable value that means automatic here, normally the one
    // found when we first saw the fan.
    long long automaticPwmEnable = 2;
    // closedLoopTarget: the target found at open, written back for automatic.
    std::optional<long long> targetAtOpen;
    // Target-driven chips have no mode file, so the mode lives here.
    FanMode trackedMode = FanMode::automatic;
    // The last speed asked for; applied when the fan is switched to manual,
    // because setting a speed alone never changes the mode.
    std::optional<long long> requestedTarget;

    std::string attribute(const std::string& prefix, const std::string& suffix) const;
};

Expected<float, FanFailure> actualSpeed(const FanChannel& fan);
Expected<float, FanFailure> minimumSpeed(const FanChannel& fan);
Expected<float, FanFailure> maximumSpeed(const FanChannel& fan);
Expected<FanMode, FanFailure> fanMode(const FanChannel& fan);
// Where the chip is driving the fan to; for a pwm fan the duty cycle turned
// back into a speed, for a fan without control its actual speed.
Expected<float, FanFailure> targetSpeed(const FanChannel& fan);

Expected<Done, FanFailure> setFanMode(FanChannel& fan, FanMode mode);
Expected<Done, FanFailure> setTargetSpeed(FanChannel& fan, long long rpm);

// The linear map between a speed and pwm 0..255: `low` (fanN_min, or 0)
// gives 0, `high` (fanN_max, or kAssumedMaxRPM) gives 255, rounded to the
// nearest step and clamped at both ends. A scale whose top is not above its
// bottom gives full duty.
int pwmForSpeed(double rpm, double low, double high);
double speedForPwm(long long pwm, double low, double high);

}  // namespace korvane::linux_platform
