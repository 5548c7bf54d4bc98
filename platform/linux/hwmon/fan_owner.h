#pragma once
// Whose fans a hwmon device drives, and so whether Korvane may take them.
#include <string_view>

namespace korvane::linux_platform {

// Best first. A graphics card's fan cools the card under its own driver's
// control and never follows the CPU; the rest are the machine's own fans.
enum class FanOwner {
    platform,      // laptop and platform controllers: thinkpad, dell_smm, asus, hp, applesmc, macsmc
    superIO,       // a motherboard's Super I/O chip: nct6775, it87, f71882fg, w83627ehf and their kin
    other,         // anything else: taken only where nothing better exists
    graphicsCard,  // amdgpu, radeon, nouveau, i915, xe, or any PCI display controller: never ours
};

// From the device's hwmon `name` and, for a PCI device, its `class` file
// ("0x030000"; empty for other devices).
FanOwner fanOwner(std::string_view driverName, std::string_view pciClass);

}  // namespace korvane::linux_platform
