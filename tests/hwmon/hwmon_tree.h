#pragma once
// A fixture sysfs tree with hwmon devices laid out the way the kernel lays
// them out. Attributes are named below class/hwmon ("hwmon4/pwm1").
#include <initializer_list>
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
        addHwmon("hwmon4", "nct6775", "platform/nct6775.656");
        setAll({{"hwmon1/temp1_label", "Package id 0"}, {"hwmon1/temp1_input", "52000", kReadOnly},
                {"hwmon1/temp2_label", "Core 0"}, {"hwmon1/temp2_input", "97000", kReadOnly},
                {"hwmon4/fan1_input", "1100", kReadOnly}, {"hwmon4/fan1_min", "300"}, {"hwmon4/pwm1", "120"},
                {"hwmon4/temp1_input", "38000", kReadOnly}});  // the board, not the CPU
        set("hwmon4/pwm1_enable", std::to_string(pwmEnable));
    }
    // applesmc as hwmon0: fan1 1300..6200 with manual/output, TB0T and TC0P.
    void addAppleSMC() const {
        addHwmon("hwmon0", "applesmc", "platform/applesmc.768");
        setAll({{"hwmon0/fan1_input", "2000", kReadOnly}, {"hwmon0/fan1_min", "1300"},
                {"hwmon0/fan1_max", "6200", kReadOnly}, {"hwmon0/fan1_output", "2000"}, {"hwmon0/fan1_manual", "0"},
                {"hwmon0/temp1_label", "TB0T"}, {"hwmon0/temp1_input", "31000", kReadOnly},
                {"hwmon0/temp2_label", "TC0P"}, {"hwmon0/temp2_input", "58250", kReadOnly}});
    }
    // Asahi macsmc as hwmon3: fan1 at 2300 RPM, 1500..5800, target 2350; Tp09.
    void addMacSMC() const {
        addHwmon("hwmon3", "macsmc_hwmon", "platform/soc/23e400000.smc/macsmc-hwmon");
        setAll({{"hwmon3/fan1_input", "2300", kReadOnly}, {"hwmon3/fan1_min", "1500", kReadOnly},
                {"hwmon3/fan1_max", "5800", kReadOnly}, {"hwmon3/fan1_target", "2350"},
                {"hwmon3/temp1_label", "Tp09"}, {"hwmon3/temp1_input", "47500", kReadOnly}});
    }

private:
    static constexpr mode_t kReadOnly = 0444;
    struct Attribute {
        const char* name;
        const char* value;
        mode_t mode = 0644;
    };
    void setAll(std::initializer_list<Attribute> attributes) const {
        for (const Attribute& attribute : attributes) set(attribute.name, attribute.value, attribute.mode);
    }
};

}  // namespace korvane::testing
