#include "platform/linux/hwmon/fan_owner.h"

#include <algorithm>
#include <array>

namespace korvane::linux_platform {
namespace {

constexpr std::array<std::string_view, 5> kGraphicsDrivers = {"amdgpu", "radeon", "nouveau", "i915", "xe"};
constexpr std::array<std::string_view, 5> kPlatformDrivers = {"thinkpad", "dell_smm", "asus", "hp", "applesmc"};
// Super I/O drivers name their hwmon device after the chip ("nct6798",
// "it8688", "f71889fg", "w83667hg"), so families are matched by prefix.
constexpr std::array<std::string_view, 12> kSuperIOFamilies = {
    "nct6", "it8", "f71", "f8000", "f81", "w83", "sch56", "sch311", "dme1737", "smsc47", "pc87", "vt1211"};

bool among(std::string_view name, const auto& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

FanOwner fanOwner(std::string_view driverName, std::string_view pciClass) {
    // PCI base class 0x03: VGA, XGA, 3D and other display controllers.
    if (among(driverName, kGraphicsDrivers) || pciClass.starts_with("0x03")) return FanOwner::graphicsCard;
    // Apple silicon's SMC driver (macsmc_hwmon) by its prefix, as elsewhere.
    if (among(driverName, kPlatformDrivers) || driverName.starts_with("macsmc")) return FanOwner::platform;
    for (std::string_view family : kSuperIOFamilies) {
        if (driverName.starts_with(family)) return FanOwner::superIO;
    }
    return FanOwner::other;
}

}  // namespace korvane::linux_platform
