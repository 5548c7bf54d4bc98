#include "platform/linux/hwmon/fan_channel.h"

#include <algorithm>
#include <cmath>

#include "platform/linux/hwmon/sysfs_attribute.h"

namespace korvane::linux_platform {
namespace {

Expected<long long, FanFailure> readNumber(const std::string& path) {
    auto value = sysfs::readInteger(path);
    if (!value) return unexpected(FanFailure::unreadable);
    return *value;
}

Expected<Done, FanFailure> writeNumber(const std::string& path, long long value) {
    if (!sysfs::writeInteger(path, value)) return unexpected(FanFailure::rejected);
    return Done{};
}

struct PwmScale {
    double low = 0.0;
    double high = kAssumedMaxRPM;
};

PwmScale pwmScale(const FanChannel& fan) {
    PwmScale scale;
    if (auto low = minimumSpeed(fan)) scale.low = *low;
    if (auto high = maximumSpeed(fan)) scale.high = *high;
    return scale;
}

// macsmc reads 0 as "back to automatic", so a manual target stays inside the
// fan's limits.
long long macSMCManualTarget(const FanChannel& fan, long long rpm) {
    long long low = 1;
    if (auto min = minimumSpeed(fan)) low = std::max(low, static_cast<long long>(*min));
    if (auto max = maximumSpeed(fan)) rpm = std::min(rpm, static_cast<long long>(*max));
    return std::max(rpm, low);
}

// The speed a fan switched to manual starts at: the one asked for, else the
// one it turns at now, so switching alone does not change what you hear.
Expected<long long, FanFailure> manualStartSpeed(const FanChannel& fan) {
    if (fan.requestedTarget) return *fan.requestedTarget;
    auto actual = actualSpeed(fan);
    if (!actual) return unexpected(actual.error());
    return static_cast<long long>(*actual);
}

Expected<Done, FanFailure> setPwmMode(FanChannel& fan, FanMode mode) {
    const std::string enable = fan.attribute("pwm", "_enable");
    if (mode == FanMode::automatic) {
        fan.requestedTarget.reset();
        return writeNumber(enable, fan.automaticPwmEnable);
    }
    long long duty = 0;
    if (fan.requestedTarget) {
        auto scale = pwmScale(fan);
        duty = pwmForSpeed(static_cast<double>(*fan.requestedTarget), scale.low, scale.high);
    } else {
        auto current = readNumber(fan.attribute("pwm", ""));
        if (!current) return unexpected(current.error());
        duty = *current;
    }
    if (auto switched = writeNumber(enable, 1); !switched) return switched;
    return writeNumber(fan.attribute("pwm", ""), duty);
}

Expected<Done, FanFailure> setTargetDrivenMode(FanChannel& fan, FanMode mode) {
    const std::string target = fan.attribute("fan", "_target");
    if (mode == FanMode::automatic) {
        Expected<Done, FanFailure> restored = Done{};
        if (fan.control == FanControl::macSMCTarget) {
            restored = writeNumber(target, 0);
        } else if (fan.targetAtOpen) {
            restored = writeNumber(target, *fan.targetAtOpen);
        }
        if (!restored) return restored;
        fan.trackedMode = FanMode::automatic;
        fan.requestedTarget.reset();
        return Done{};
    }
    auto start = manualStartSpeed(fan);
    if (!start) return unexpected(start.error());
    long long rpm = fan.control == FanControl::macSMCTarget ? macSMCManualTarget(fan, *start) : *start;
    if (auto written = writeNumber(target, rpm); !written) return written;
    fan.trackedMode = FanMode::manual;
    return Done{};
}

}  // namespace

std::string FanChannel::attribute(const std::string& prefix, const std::string& suffix) const {
    return directory + "/" + prefix + std::to_string(number) + suffix;
}

Expected<float, FanFailure> actualSpeed(const FanChannel& fan) {
    auto rpm = readNumber(fan.attribute("fan", "_input"));
    if (!rpm) return unexpected(rpm.error());
    return static_cast<float>(*rpm);
}

Expected<float, FanFailure> minimumSpeed(const FanChannel& fan) {
    if (!fan.hasMin) return unexpected(FanFailure::unreadable);
    auto rpm = readNumber(fan.attribute("fan", "_min"));
    if (!rpm) return unexpected(rpm.error());
    return static_cast<float>(*rpm);
}

Expected<float, FanFailure> maximumSpeed(const FanChannel& fan) {
    if (!fan.hasMax) return unexpected(FanFailure::unreadable);
    auto rpm = readNumber(fan.attribute("fan", "_max"));
    if (!rpm) return unexpected(rpm.error());
    return static_cast<float>(*rpm);
}

Expected<FanMode, FanFailure> fanMode(const FanChannel& fan) {
    switch (fan.control) {
        case FanControl::none:
            return FanMode::automatic;
        case FanControl::appleSMC: {
            auto manual = readNumber(fan.attribute("fan", "_manual"));
            if (!manual) return unexpected(manual.error());
            return *manual != 0 ? FanMode::manual : FanMode::automatic;
        }
        case FanControl::macSMCTarget:
        case FanControl::closedLoopTarget:
            return fan.trackedMode;
        case FanControl::pwm: {
            auto enable = readNumber(fan.attribute("pwm", "_enable"));
            if (!enable) return unexpected(enable.error());
            return *enable == 1 ? FanMode::manual : FanMode::automatic;
        }
    }
    return unexpected(FanFailure::unreadable);
}

Expected<float, FanFailure> targetSpeed(const FanChannel& fan) {
    switch (fan.control) {
        case FanControl::none:
            return actualSpeed(fan);
        case FanControl::appleSMC: {
            auto rpm = readNumber(fan.attribute("fan", "_output"));
            if (!rpm) return unexpected(rpm.error());
            return static_cast<float>(*rpm);
        }
        case FanControl::macSMCTarget:
        case FanControl::closedLoopTarget: {
            auto rpm = readNumber(fan.attribute("fan", "_target"));
            if (!rpm) return unexpected(rpm.error());
            return static_cast<float>(*rpm);
        }
        case FanControl::pwm: {
            auto duty = readNumber(fan.attribute("pwm", ""));
            if (!duty) return unexpected(duty.error());
            auto scale = pwmScale(fan);
            return static_cast<float>(speedForPwm(*duty, scale.low, scale.high));
        }
    }
    return unexpected(FanFailure::unreadable);
}

Expected<Done, FanFailure> setFanMode(FanChannel& fan, FanMode mode) {
    switch (fan.control) {
        case FanControl::none:
            return unexpected(FanFailure::notControllable);
        case FanControl::appleSMC:
            return writeNumber(fan.attribute("fan", "_manual"), mode == FanMode::manual ? 1 : 0);
        case FanControl::macSMCTarget:
        case FanControl::closedLoopTarget:
            return setTargetDrivenMode(fan, mode);
        case FanControl::pwm:
            return setPwmMode(fan, mode);
    }
    return unexpected(FanFailure::notControllable);
}

Expected<Done, FanFailure> setTargetSpeed(FanChannel& fan, long long rpm) {
    if (fan.control == FanControl::none) return unexpected(FanFailure::notControllable);
    if (rpm < 0) return unexpected(FanFailure::rejected);
    switch (fan.control) {
        case FanControl::appleSMC:
            // applesmc keeps the SMC's own rule: the target only counts in manual.
            return writeNumber(fan.attribute("fan", "_output"), rpm);
        case FanControl::macSMCTarget:
        case FanControl::closedLoopTarget: {
            if (fan.trackedMode == FanMode::manual) {
                long long value = fan.control == FanControl::macSMCTarget ? macSMCManualTarget(fan, rpm) : rpm;
                if (auto written = writeNumber(fan.attribute("fan", "_target"), value); !written) return written;
            }
            fan.requestedTarget = rpm;
            return Done{};
        }
        case FanControl::pwm: {
            auto mode = fanMode(fan);
            if (!mode) return unexpected(mode.error());
            if (*mode == FanMode::manual) {
                auto scale = pwmScale(fan);
                auto duty = pwmForSpeed(static_cast<double>(rpm), scale.low, scale.high);
                if (auto written = writeNumber(fan.attribute("pwm", ""), duty); !written) return written;
            }
            fan.requestedTarget = rpm;
            return Done{};
        }
        case FanControl::none:
            break;
    }
    return unexpected(FanFailure::notControllable);
}

int pwmForSpeed(double rpm, double low, double high) {
    if (!(high > low)) return 255;
    double duty = std::round(255.0 * (rpm - low) / (high - low));
    return static_cast<int>(std::clamp(duty, 0.0, 255.0));
}

double speedForPwm(long long pwm, double low, double high) {
    if (!(high > low)) return high;
    auto duty = static_cast<double>(std::clamp(pwm, 0LL, 255LL));
    return low + duty * (high - low) / 255.0;
}

}  // namespace korvane::linux_platform
