#include "tests/hwmon/fake_sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korvane::testing {

namespace fs = std::filesystem;

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "korvane-sysfs-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
}

FakeSysfs::~FakeSysfs() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
}

void FakeSysfs::write(const std::string& relativePath, const std::string& contents, mode_t mode) {
    fs::path path = fs::path(root_) / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << contents << "\n";
    ::chmod(path.c_str(), mode);
}

void FakeSysfs::remove(const std::string& relativePath) { fs::remove(fs::path(root_) / relativePath); }

std::string FakeSysfs::read(const std::string& relativePath) const {
    std::ifstream in(fs::path(root_) / relativePath);
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!contents.empty() && contents.back() == '\n') contents.pop_back();
    return contents;
}

void FakeSysfs::addHwmon(const std::string& hwmon, const std::string& name, const std::string& devicePath) {
    write("class/hwmon/" + hwmon + "/name", name);
    if (devicePath.empty()) return;
    fs::path device = fs::path(root_) / "devices" / devicePath;
    fs::create_directories(device);
    fs::create_symlink(device, fs::path(root_) / "class/hwmon" / hwmon / "device");
}

void FakeSysfs::addDesktopWithNct6775(int pwmEnable) {
    addHwmon("hwmon1", "coretemp", "platform/coretemp.0");
    write("class/hwmon/hwmon1/temp1_label", "Package id 0");
    write("class/hwmon/hwmon1/temp1_input", "52000", 0444);
    write("class/hwmon/hwmon1/temp2_label", "Core 0");
    write("class/hwmon/hwmon1/temp2_input", "97000", 0444);
    addHwmon("hwmon4", "nct6775", "platform/nct6775.656");
    write("class/hwmon/hwmon4/fan1_input", "1100", 0444);
    write("class/hwmon/hwmon4/fan1_min", "300");
    write("class/hwmon/hwmon4/pwm1", "120");
    write("class/hwmon/hwmon4/pwm1_enable", std::to_string(pwmEnable));
    write("class/hwmon/hwmon4/temp1_input", "38000", 0444);  // the board, not the CPU
}

void FakeSysfs::addAppleSMC() {
    addHwmon("hwmon0", "applesmc", "platform/applesmc.768");
    write("class/hwmon/hwmon0/fan1_input", "2000", 0444);
    write("class/hwmon/hwmon0/fan1_min", "1300");
    write("class/hwmon/hwmon0/fan1_max", "6200", 0444);
    write("class/hwmon/hwmon0/fan1_output", "2000");
    write("class/hwmon/hwmon0/fan1_manual", "0");
    write("class/hwmon/hwmon0/temp1_label", "TB0T");
    write("class/hwmon/hwmon0/temp1_input", "31000", 0444);
    write("class/hwmon/hwmon0/temp2_label", "TC0P");
    write("class/hwmon/hwmon0/temp2_input", "58250", 0444);
}

void FakeSysfs::addMacSMC() {
    addHwmon("hwmon3", "macsmc_hwmon", "platform/soc/23e400000.smc/macsmc-hwmon");
    write("class/hwmon/hwmon3/fan1_input", "2300", 0444);
    write("class/hwmon/hwmon3/fan1_min", "1500", 0444);
    write("class/hwmon/hwmon3/fan1_max", "5800", 0444);
    write("class/hwmon/hwmon3/fan1_target", "2350");
    write("class/hwmon/hwmon3/temp1_label", "Tp09");
    write("class/hwmon/hwmon3/temp1_input", "47500", 0444);
}

}  // namespace korvane::testing
