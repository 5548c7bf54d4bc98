#include "helper/fan_commands.h"

#include <mutex>
#include <string>

#include "helper/fan_keys.h"
#include "helper/fan_restore.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"

namespace korvane::helper {
namespace {

bool openSMC() {
    std::lock_guard lock(SMCBridge::ioLock());
    return SMCBridge::openUnsafe();
}

void replyFailure(const std::string& message, const ReplyBlock& reply) {
    log::write("KorvaneHelper: " + message);
    reply(false, message);
}

}  // namespace

void FanCommands::setControlMode(std::int64_t fanIndex, bool isManual, const ReplyBlock& reply) {
    if (!openSMC()) {
        replyFailure("SMC connection failed — cannot set fan mode", reply);
        return;
    }
    const std::string fan = std::to_string(fanIndex);
    if (auto written = SMCBridge::writeValue(fanModeKey(fanIndex), isManual ? 1.0f : 0.0f); !written) {
        replyFailure("Failed to set fan " + fan + " mode: " + std::string(smcErrorName(written.error())), reply);
        return;
    }
    if (isManual) {
        manualFanRegistry().switchedToManual(fanIndex);
    } else {
        manualFanRegistry().switchedToAutomatic(fanIndex);
    }
    log::write("KorvaneHelper: Fan " + fan + " mode set to " + (isManual ? "Manual" : "Auto"));
    reply(true, std::nullopt);
}

void FanCommands::setTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM, const ReplyBlock& reply) {
    if (!openSMC()) {
        replyFailure("SMC connection failed — cannot set fan RPM", reply);
        return;
    }
    const std::string fan = std::to_string(fanIndex);
    if (auto written = SMCBridge::writeValue(fanTargetKey(fanIndex), static_cast<float>(targetRPM)); !written) {
        replyFailure("Failed to set fan " + fan + " RPM: " + std::string(smcErrorName(written.error())), reply);
        return;
    }
    log::write("KorvaneHelper: Fan " + fan + " target RPM set to " + std::to_string(targetRPM));
    reply(true, std::nullopt);
}

}  // namespace korvane::helper
