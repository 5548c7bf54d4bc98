#include "platform/linux/hwmon/hwmon_inventory.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <tuple>

#include "platform/linux/hwmon/fan_owner.h"
#include "platform/linux/hwmon/sysfs_attribute.h"
#include "shared/smc/smc_bridge.h"

namespace korvane::linux_platform {
namespace {

namespace fs = std::filesystem;

struct Device {
    std::string name;
    std::string devicePath;  // where the `device` link leads; empty for virtual devices
    std::string directory;   // where the attribute files are
    std::string hwmonDirectory;
    FanOwner owner = FanOwner::other;
};

// A CPU package sensor; lower rank is preferred.
struct PackageCandidate {
    int rank = 0;
    std::string file;
};

std::vector<fs::path> childrenOf(const fs::path& directory) {
    std::vector<fs::path> children;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        children.push_back(it->path());
    }
    std::sort(children.begin(), children.end());
    return children;
}

// N of a file named <prefix>N<suffix>.
std::optional<int> channelNumber(const std::string& fileName, std::string_view prefix, std::string_view suffix) {
    if (fileName.size() <= prefix.size() + suffix.size() || !fileName.starts_with(prefix) ||
        !fileName.ends_with(suffix)) {
        return std::nullopt;
    }
    const char* begin = fileName.data() + prefix.size();
    const char* end = fileName.data() + fileName.size() - suffix.size();
    int number = 0;
    auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop != end || number < 0) return std::nullopt;
    return number;
}

std::vector<int> channels(const std::string& directory, std::string_view prefix, std::string_view suffix) {
    std::vector<int> numbers;
    for (const auto& child : childrenOf(directory)) {
        if (auto number = channelNumber(child.filename().string(), prefix, suffix)) numbers.push_back(*number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<Device> findDevices(const fs::path& hwmonClass) {
    std::vector<Device> devices;
    for (const auto& entry : childrenOf(hwmonClass)) {
        // Older drivers keep their attributes under device/.
        fs::path attributes = entry;
        auto name = sysfs::readText((entry / "name").string());
        if (!name) {
            attributes = entry / "device";
            name = sysfs::readText((attributes / "name").string());
        }
        if (!name || name->empty()) continue;
        std::error_code error;
        fs::path device = fs::canonical(entry / "device", error);
        std::string devicePath = error ? std::string() : device.string();
        std::string pciClass = devicePath.empty() ? "" : sysfs::readText(devicePath + "/class").value_or("");
        devices.push_back({*name, devicePath, attributes.string(), entry.string(), fanOwner(*name, pciClass)});
    }
    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) {
        return std::tie(a.owner, a.devicePath, a.name, a.hwmonDirectory) <
               std::tie(b.owner, b.devicePath, b.name, b.hwmonDirectory);
    });
    return devices;
}

bool isMacSMC(const Device& device) { return device.name.starts_with("macsmc"); }

FanControl controlOf(const Device& device, const FanChannel& fan) {
    auto writable = [&](const std::string& prefix, const std::string& suffix) {
        return sysfs::isWritable(fan.attribute(prefix, suffix));
    };
    if (device.name == "applesmc" && writable("fan", "_manual") && writable("fan", "_output")) {
        return FanControl::appleSMC;
    }
    if (isMacSMC(device) && writable("fan", "_target")) return FanControl::macSMCTarget;
    // With a pwmN_enable the chip's closed loop only runs in a chip-specific
    // enable mode, while pwmN_enable = 1 means manual on every chip; so a
    // target is used only where there is no enable.
    bool hasPwm = writable("pwm", "") && writable("pwm", "_enable");
    if (writable("fan", "_target") && !sysfs::exists(fan.attribute("pwm", "_enable"))) {
        return FanControl::closedLoopTarget;
    }
    if (hasPwm) return FanControl::pwm;
    return FanControl::none;
}

void addFans(const Device& device, std::vector<FanChannel>& fans) {
    for (int number : channels(device.directory, "fan", "_input")) {
        FanChannel fan;
        fan.directory = device.directory;
        fan.number = number;
        fan.identity = device.name + "@" + device.devicePath + "#" + std::to_string(number);
        fan.hasMin = sysfs::exists(fan.attribute("fan", "_min"));
        fan.hasMax = sysfs::exists(fan.attribute("fan", "_max"));
        fan.control = controlOf(device, fan);
        if (fan.control == FanControl::pwm) {
            // 0 (full speed) and 1 (manual) are not automatic; the kernel's
            // generic automatic value stands in for them.
            auto enable = sysfs::readInteger(fan.attribute("pwm", "_enable"));
            fan.automaticPwmEnable = enable && *enable >= 2 ? *enable : 2;
        }
        if (fan.control == FanControl::closedLoopTarget) {
            fan.targetAtOpen = sysfs::readInteger(fan.attribute("fan", "_target"));
        }
        fans.push_back(std::move(fan));
    }
}

bool looksLikeSMCKey(const std::string& label) {
    return label.size() == 4 &&
           std::all_of(label.begin(), label.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

void addTemperatures(const Device& device, std::map<std::string, std::string>& keyed,
                     std::optional<PackageCandidate>& package) {
    auto offer = [&](int rank, const std::string& file) {
        if (!package || rank < package->rank) package = PackageCandidate{rank, file};
    };
    for (int number : channels(device.directory, "temp", "_input")) {
        std::string prefix = device.directory + "/temp" + std::to_string(number);
        std::string file = prefix + "_input";
        std::string label = sysfs::readText(prefix + "_label").value_or("");
        if (device.name == "coretemp") {
            if (label.starts_with("Package id ")) offer(0, file);
        } else if (device.name == "k10temp") {
            // Tctl is a control value that can sit above the real temperature.
            if (label == "Tdie") offer(1, file);
            if (label == "Tctl" || label.empty()) offer(2, file);
        } else if (device.name == "cpu_thermal") {
            offer(3, file);
        } else if (device.name == "applesmc" || isMacSMC(device)) {
            if (looksLikeSMCKey(label)) {
                keyed.try_emplace(label, file);
            } else if (isMacSMC(device) && label.find("CPU") != std::string::npos) {
                offer(4, file);
            }
        }
    }
}

std::optional<std::string> packageThermalZone(const fs::path& thermalClass) {
    for (const auto& zone : childrenOf(thermalClass)) {
        if (sysfs::readText((zone / "type").string()) == "x86_pkg_temp") return (zone / "temp").string();
    }
    return std::nullopt;
}

}  // namespace

HwmonInventory scanHwmon(const std::string& sysfsRoot) {
    HwmonInventory inventory;
    std::optional<PackageCandidate> package;
    std::vector<FanChannel> lesserFans;
    for (const auto& device : findDevices(fs::path(sysfsRoot) / "class" / "hwmon")) {
        switch (device.owner) {
            case FanOwner::platform:
            case FanOwner::superIO: addFans(device, inventory.fans); break;
            case FanOwner::other: addFans(device, lesserFans); break;
            case FanOwner::graphicsCard: addFans(device, inventory.excludedFans); break;
        }
        addTemperatures(device, inventory.temperatureFiles, package);
    }
    auto& lesserGoTo = inventory.fans.empty() ? inventory.fans : inventory.excludedFans;
    lesserGoTo.insert(lesserGoTo.end(), lesserFans.begin(), lesserFans.end());
    if (!package) {
        if (auto zone = packageThermalZone(fs::path(sysfsRoot) / "class" / "thermal")) {
            package = PackageCandidate{5, *zone};
        }
    }
    if (package) inventory.temperatureFiles.try_emplace(std::string(SMCBridge::KEY_CPU_TEMP), package->file);
    return inventory;
}

}  // namespace korvane::linux_platform
