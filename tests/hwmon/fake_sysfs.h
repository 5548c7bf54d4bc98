#pragma once
// A sysfs tree in a private temporary directory, made of plain files, with
// hwmon devices laid out the way the kernel lays them out.
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

    // class/hwmon/<hwmon> with its name file and, when `devicePath` is not
    // empty, a device link to devices/<devicePath>.
    void addHwmon(const std::string& hwmon, const std::string& name, const std::string& devicePath);
    // A file below the root, with its directories; mode 0644 unless given.
    void write(const std::string& relativePath, const std::string& contents, mode_t mode = 0644);
    void remove(const std::string& relativePath);
    // The file's contents without the trailing newline.
    std::string read(const std::string& relativePath) const;

    // Layouts modelled on real machines.
    // coretemp with a package and two cores; an nct6775 Super I/O with
    // fan1 (input, min, no max) on pwm1, its enable at `pwmEnable`.
    void addDesktopWithNct6775(int pwmEnable = 5);
    // An AMD desktop's k10temp; `withTdie` adds Tdie next to Tctl.
    void addK10temp(bool withTdie);
    // An Intel Mac: applesmc with one fan and key-labelled sensors.
    void addAppleSMC();
    // An Apple Silicon Mac under Asahi: macsmc fan with a writable target.
    void addMacSMC();

private:
    std::string root_;
};

}  // namespace korvane::testing
