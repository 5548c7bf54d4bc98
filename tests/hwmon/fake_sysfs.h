#pragma once
// A sysfs tree of plain files in a private temporary directory, with hwmon
// devices laid out the way the kernel lays them out.
#include <sys/stat.h>

#include <string>

namespace korvane::testing {

class FakeSysfs {
public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::string& root() const { return root_; }

    // class/hwmon/<hwmon>/name, and a device link to devices/<devicePath>
    // unless that is empty.
    void addHwmon(const std::string& hwmon, const std::string& name, const std::string& devicePath);
    // A file below the root, directories included.
    void write(const std::string& relativePath, const std::string& contents, mode_t mode = 0644);
    void remove(const std::string& relativePath);
    std::string read(const std::string& relativePath) const;  // without the final newline

    // coretemp (package 52 °C, a core at 97 °C) as hwmon1; an nct6775 Super
    // I/O as hwmon4 with fan1 at 1100 RPM (min 300, no max) on pwm1 = 120.
    void addDesktopWithNct6775(int pwmEnable);
    // applesmc as hwmon0: fan1 1300..6200 with manual/output, TB0T and TC0P.
    void addAppleSMC();
    // Asahi macsmc as hwmon3: fan1 at 2300 RPM, 1500..5800, target 2350; Tp09.
    void addMacSMC();

private:
    std::string root_;
};

}  // namespace korvane::testing
