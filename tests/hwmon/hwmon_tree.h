#pragma once
// A fixture sysfs tree with hwmon devices laid out the way the kernel lays
// them out. Attributes are named below class/hwmon ("hwmon4/pwm1").
#include <string>

#include "tests/fakes/fixture_tree.h"

namespace korvane::testing {

class HwmonTree : public FixtureTree {
public:
    // class/hwmon/<hwmon>/name, and a device link to devices/<devicePath>
    // unless that is empty.
    void addHwmon(const std::string& hwmon, const std::string& name, const std::string& devicePath) const {
        set(hwmon + "/name", name);
        if (!devicePath.empty()) symlink("class/hwmon/" + hwmon + "/device", mkdir("devices/" + devicePath));
    }
    // Writes the value with the newline the kernel ends it with.
    void set(const std::string& attribute, const std::string& value, mode_t mode = 0644) const {
        write("class/hwmon/" + attribute, value + "\n", mode);
    }
    // A kernel that refuses every write to the attribute, as it does a value
    // its driver rejects; a folder, which not even root can open for writing.
    // The driver decides what it may write when it opens: do this after.
    void refuseWrites(const std::string& attribute) const {
        remove("class/hwmon/" + attribute);
        mkdir("class/hwmon/" + attribute);
    }
    // The value without its final newline.
    std::string get(const std::string& attribute) const {
        std::string value = read("class/hwmon/" + attribute);
        if (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    }

    // coretemp (package 52 °C, a core at 97 °C) as hwmon1; an nct6775 Super
    // I/O as hwmon4 with fan1 at 1100 RPM (min 300, no max) on pwm1 = 120.
    void addDesktopWithNct6775(int pwmEnable) const {
        addHwmon("hwmon1", "coretemp", "platform/coretemp.0");
        set("hwmon1/temp1_label", "Package id 0");
        set("hwmon1/temp1_input", "52000", 0444);
        set("hwmon1/temp2_label", "Core 0");
        set("hwmon1/temp2_input", "97000", 0444);
        addHwmon("hwmon4", "nct6775", "platform/nct6775.656");
        set("hwmon4/fan1_input", "1100", 0444);
        set("hwmon4/fan1_min", "300");
        set("hwmon4/pwm1", "120");
        set("hwmon4/pwm1_enable", std::to_string(pwmEnable));
        set("hwmon4/temp1_input", "38000", 0444);  // the board, not the CPU
    }
    // applesmc as hwmon0, the machine the fan manager's and the popover's
    // tests read: `fans` fans at 1800 RPM (1200..6000) in automatic, with
    // manual/output; TB0T at 31 °C and TC0P, the CPU, at 45 °C.
    void addAppleSMC(int fans = 1) const {
        addHwmon("hwmon0", "applesmc", "platform/applesmc.768");
        for (int n = 1; n <= fans; ++n) {
            const std::string fan = "hwmon0/fan" + std::to_string(n);
            set(fan + "_input", "1800", 0444);
            set(fan + "_min", "1200");
            set(fan + "_max", "6000", 0444);
            set(fan + "_output", "1800");
            set(fan + "_manual", "0");
        }
        set("hwmon0/temp1_label", "TB0T");
        set("hwmon0/temp1_input", "31000", 0444);
        set("hwmon0/temp2_label", "TC0P");
        set("hwmon0/temp2_input", "45000", 0444);
    }
    // Asahi macsmc as hwmon3: fan1 at 2300 RPM, 1500..5800, target 2350; Tp09.
    void addMacSMC() const {
        addHwmon("hwmon3", "macsmc_hwmon", "platform/soc/23e400000.smc/macsmc-hwmon");
        set("hwmon3/fan1_input", "2300", 0444);
        set("hwmon3/fan1_min", "1500", 0444);
        set("hwmon3/fan1_max", "5800", 0444);
        set("hwmon3/fan1_target", "2350");
        set("hwmon3/temp1_label", "Tp09");
        set("hwmon3/temp1_input", "47500", 0444);
    }
};

}  // namespace korvane::testing
