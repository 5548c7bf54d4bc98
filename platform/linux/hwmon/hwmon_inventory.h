#pragma once
// What a machine's hwmon devices offer, as SMC keys will see it.
#include <map>
#include <string>
#include <vector>

#include "platform/linux/hwmon/fan_channel.h"

namespace korvane::linux_platform {

struct HwmonInventory {
    // In a stable order: devices by their device path and name (never by the
    // hwmonN number, which changes between boots), then fans by number.
    std::vector<FanChannel> fans;
    // SMC temperature key to the file holding it in millidegrees Celsius.
    std::map<std::string, std::string> temperatureFiles;
};

// Reads <sysfsRoot>/class/hwmon (and the thermal zones for a last-resort CPU
// temperature). Nothing is written.
HwmonInventory scanHwmon(const std::string& sysfsRoot);

}  // namespace korvane::linux_platform
