#pragma once
// What a machine's hwmon devices offer, as SMC keys will see it.
#include <map>
#include <string>
#include <vector>

#include "platform/linux/hwmon/fan_channel.h"

namespace korvane::linux_platform {

struct HwmonInventory {
    // The machine's own fans, best first (see FanOwner): platform controllers,
    // then Super I/O chips, or, only where neither has a fan, any other
    // device's. Within a kind in a stable order: devices by their device path
    // and name (never by the hwmonN number, which changes between boots), then
    // fans by number. Fan n of the SMC keys is fans[n].
    std::vector<FanChannel> fans;
    // Fans that are not Korvane's (a graphics card's, or lesser ones passed
    // over). No key reaches them; they are kept only so that a fan an older
    // helper left in manual can still be handed back.
    std::vector<FanChannel> excludedFans;
    // SMC temperature key to the file holding it in millidegrees Celsius.
    std::map<std::string, std::string> temperatureFiles;
};

// Reads <sysfsRoot>/class/hwmon (and the thermal zones for a last-resort CPU
// temperature). Nothing is written.
HwmonInventory scanHwmon(const std::string& sysfsRoot);

}  // namespace korvane::linux_platform
