#include "helper/fan_restore.h"

#include <string>

#include "helper/fan_keys.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"

namespace korvane::helper {

void ManualFanRegistry::switchedToManual(std::int64_t fanIndex) {
    std::lock_guard lock(mutex_);
    manual_.insert(fanIndex);
}

void ManualFanRegistry::switchedToAutomatic(std::int64_t fanIndex) {
    std::lock_guard lock(mutex_);
    manual_.erase(fanIndex);
}

std::set<std::int64_t> ManualFanRegistry::manualFans() const {
    std::lock_guard lock(mutex_);
    return manual_;
}

void ManualFanRegistry::restoreAutomatic() {
    std::set<std::int64_t> fans;
    {
        std::lock_guard lock(mutex_);
        fans.swap(manual_);
    }
    for (std::int64_t fanIndex : fans) {
        std::string fan = std::to_string(fanIndex);
        if (auto written = SMCBridge::writeValue(fanModeKey(fanIndex), 0.0f); written) {
            log::write("KorvaneHelper: Fan " + fan + " mode restored to Auto");
        } else {
            log::write("KorvaneHelper: Failed to restore fan " + fan + " mode to Auto: " +
                       std::string(smcErrorName(written.error())));
        }
    }
}

ManualFanRegistry& manualFanRegistry() {
    static ManualFanRegistry registry;
    return registry;
}

}  // namespace korvane::helper
