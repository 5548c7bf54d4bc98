#include "app/monitors/fan_manager.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/runtime/task.h"
#include "shared/smc/smc_bridge.h"

namespace korvane::app {
namespace {

constexpr std::int64_t kFanIndex = 0;
// More failures in a row than this select the slow period; the timer is
// restarted when the count reaches exactly one more.
constexpr std::int64_t kFailuresBeforeSlowPolling = 3;

std::string shortestDecimal(float value) {
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace

Expected<float, SMCError> readFiniteSMCValue(std::string_view key) {
    auto value = SMCBridge::readValue(key);
    if (!value) return value;
    if (!std::isfinite(*value)) return unexpected(SMCError::readFailed);
    return value;
}

Expected<std::int64_t, SMCError> readWholeSMCValue(std::string_view key) {
    auto value = readFiniteSMCValue(key);
    if (!value) return unexpected(value.error());
    // 2^63 is exact in a float; anything at or beyond it has no conversion.
    constexpr float kLimit = 9223372036854775808.0f;
    if (!(*value > -kLimit && *value < kLimit)) return unexpected(SMCError::readFailed);
    return static_cast<std::int64_t>(*value);
}

std::string localizedSMCError(SMCError error) {
    return localized("smc.error." + std::string(smcErrorName(error)));
}

FanManager::FanManager(Dependencies dependencies)
    : loop_(dependencies.mainLoop),
      xpcManager_(dependencies.xpcManager),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    setupInitialValues();
    startPolling();
}

FanManager::~FanManager() {
    timer_.cancel();
    lifeline_->close();
}

void FanManager::setupInitialValues() {
    isSmcConnected = SMCBridge::open();
    if (!isSmcConnected.get()) {
        lastReadError = localized("fan.smc.connection.failed");
        logFanLine("SMC bağlantısı kurulamadı");
        return;
    }

    if (auto count = readWholeSMCValue(SMCBridge::KEY_FAN_COUNT)) {
        fanCount = *count;
        hasFans = *count > 0;
    } else {
        logFanLine("Fan sayısı okunamadı (muhtemelen fansız model) — " + std::string(smcErrorName(count.error())));
        fanCount = 0;
        hasFans = false;
    }

    if (hasFans.get()) {
        // Each limit on its own: a missing one keeps its default.
        if (auto low = readWholeSMCValue(SMCBridge::KEY_FAN0_MIN_RPM)) minRPM = std::max<std::int64_t>(0, *low);
        if (auto high = readWholeSMCValue(SMCBridge::KEY_FAN0_MAX_RPM)) maxRPM = std::max(minRPM.get() + 100, *high);
        if (auto mode = readFiniteSMCValue(SMCBridge::KEY_FAN0_MODE)) isManualMode = *mode > 0.0f;
        if (auto target = readWholeSMCValue(SMCBridge::KEY_FAN0_TARGET_RPM)) targetRPM = *target;
        logFanLine("Başlangıç değerleri okundu — " + std::to_string(fanCount.get()) + " fan, " +
                   std::to_string(minRPM.get()) + "–" + std::to_string(maxRPM.get()) + " RPM");
    }

    cpuTemperature = SMCBridge::readCPUTemperature();
    if (cpuTemperature.get() > 0.0f) {
        logFanLine("CPU sıcaklığı: " + shortestDecimal(cpuTemperature.get()) + "°C");
    } else {
        logFanLine("CPU sıcaklığı okunamadı (hiçbir key çalışmadı)");
    }
    lastReadError = std::nullopt;
}

void FanManager::startPolling() {
    timer_.cancel();
    double interval = consecutiveFailCount_ > kFailuresBeforeSlowPolling ? slowPollInterval
                      : isViewVisible                                  ? normalPollInterval
                                                                       : backgroundPollInterval;
    interval_ = interval;
    timer_ = Timer::repeating(loop_, seconds(interval), [this] { refreshData(); });
}

void FanManager::stopPolling() {
    timer_.cancel();
    interval_.reset();
}

std::optional<double> FanManager::pollingInterval() const { return interval_; }

void FanManager::noteReadFailure(SMCError error) {
    consecutiveFailCount_ += 1;
    lastReadError = formatText(localized("fan.read.error"), {localizedSMCError(error)});
    logFanLine("Okuma hatası #" + std::to_string(consecutiveFailCount_) + " — " + std::string(smcErrorName(error)));
    if (consecutiveFailCount_ == kFailuresBeforeSlowPolling + 1) startPolling();
}

void FanManager::refreshData() {
    if (!SMCBridge::open()) {
        consecutiveFailCount_ += 1;
        isSmcConnected = false;
        lastReadError = localized("fan.smc.connection.lost");
        logFanLine("SMC bağlantısı kayboldu (hata #" + std::to_string(consecutiveFailCount_) + ")");
        if (consecutiveFailCount_ > maxConsecutiveFails) {
            timer_.cancel();
            interval_.reset();
            logFanLine("Çok fazla ardışık hata, polling durduruldu");
        } else if (consecutiveFailCount_ == kFailuresBeforeSlowPolling + 1) {
            startPolling();
        }
        return;
    }
    isSmcConnected = true;

    if (hasFans.get()) {
        // One unit: the first key that fails ends this poll.
        auto actual = readWholeSMCValue(SMCBridge::KEY_FAN0_ACTUAL_RPM);
        if (!actual) return noteReadFailure(actual.error());
        currentRPM = *actual;
        // In manual mode the target is the one last set by the user or the rule.
        if (!isManualMode.get()) {
            auto target = readWholeSMCValue(SMCBridge::KEY_FAN0_TARGET_RPM);
            if (!target) return noteReadFailure(target.error());
            targetRPM = *target;
        }
    }

    cpuTemperature = SMCBridge::readCPUTemperature();

    if (consecutiveFailCount_ >= 1) {
        bool wasSlow = consecutiveFailCount_ > kFailuresBeforeSlowPolling;
        consecutiveFailCount_ = 0;
        lastReadError = std::nullopt;
        if (wasSlow) startPolling();
    }
    checkSafety();
}

void FanManager::checkSafety() {
    // A temperature that is not a number compares false and never fires.
    if (cpuTemperature.get() > safetyTempThreshold && isManualMode.get() && targetRPM.get() < safetyRPMFloor) {
        safetyWarning = localized("fan.safety.warning");
        spawn(lifeline_, [this]() -> Async<> { co_await setTargetRPM(safetyRPMFloor); });
    } else {
        safetyWarning = std::nullopt;
    }
}

Async<> FanManager::setTargetRPM(std::int64_t requested) {
    if (cpuTemperature.get() > safetyTempThreshold) requested = std::max(requested, safetyRPMFloor);
    const std::int64_t speed = std::max(std::min(requested, maxRPM.get()), minRPM.get());
    CallOutcome outcome = co_await xpcManager_.setFanTargetRPM(kFanIndex, speed);
    if (outcome.success) {
        targetRPM = speed;
        lastReadError = std::nullopt;
    } else {
        lastReadError = outcome.error;
    }
}

void FanManager::refreshCurrentRPM() {
    if (!hasFans.get()) return;
    if (auto actual = readWholeSMCValue(SMCBridge::KEY_FAN0_ACTUAL_RPM)) currentRPM = *actual;
}

Async<> FanManager::toggleManualMode(bool enabled) {
    CallOutcome outcome = co_await xpcManager_.setFanControlMode(kFanIndex, enabled);
    if (!outcome.success) {
        lastReadError = outcome.error;
        co_return;
    }
    isManualMode = enabled;
    lastReadError = std::nullopt;
    if (enabled) {
        // The helper keeps the fan where it is on the switch; sending the
        // speed it shows would be sending a guess (a speed mapped back to a
        // duty cycle is not the duty cycle). The slider starts where the fan
        // turns now, and only the user's move, or a hot CPU, changes it.
        refreshCurrentRPM();
        targetRPM = std::max(std::min(currentRPM.get(), maxRPM.get()), minRPM.get());
        checkSafety();
    }
}

}  // namespace korvane::app
