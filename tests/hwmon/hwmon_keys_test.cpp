// Which hwmon devices become which SMC keys, read through the bridge the way
// both programs read them.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/fake_sysfs.h"

namespace korvane {
namespace {

using linux_platform::HwmonSMCDriver;

class HwmonKeysTest : public ::testing::Test {
protected:
    void install() { SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(sysfs.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }

    float read(std::string_view key) {
        auto value = SMCBridge::readValue(key);
        EXPECT_TRUE(value.has_value()) << key;
        return value ? *value : -12345.0f;
    }

    testing::FakeSysfs sysfs;
    log::CapturedLines logged;
};

TEST_F(HwmonKeysTest, OnlyAppleSMCExistsAndOnlyWithAFanOrACpuSensor) {
    install();
    EXPECT_FALSE(SMCBridge::open());  // no class/hwmon at all

    sysfs.addHwmon("hwmon0", "nvme", "pci0000:00/0000:01:00.0/nvme/nvme0");
    sysfs.write("class/hwmon/hwmon0/temp1_input", "41000", 0444);
    EXPECT_FALSE(SMCBridge::open());  // a disk's sensor is no CPU temperature

    sysfs.addHwmon("hwmon1", "coretemp", "platform/coretemp.0");
    sysfs.write("class/hwmon/hwmon1/temp1_label", "Package id 0");
    sysfs.write("class/hwmon/hwmon1/temp1_input", "52000");
    HwmonSMCDriver direct(sysfs.root());
    EXPECT_EQ(direct.open("AppleSMCKeysEndpoint").error(), SMCDriverFailure::serviceNotFound);

    EXPECT_TRUE(SMCBridge::open());
    EXPECT_EQ(logged.lines(), std::vector<std::string>{"SMCBridge: Bağlantı açıldı — AppleSMC"});
    EXPECT_FLOAT_EQ(read("FNum"), 0.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 52.0f);
}

TEST_F(HwmonKeysTest, DesktopWithCoretempAndAPwmOnlyFan) {
    sysfs.addDesktopWithNct6775();
    install();
    EXPECT_FLOAT_EQ(read("FNum"), 1.0f);
    EXPECT_FLOAT_EQ(read("F0Ac"), 1100.0f);
    EXPECT_FLOAT_EQ(read("F0Mn"), 300.0f);
    EXPECT_EQ(SMCBridge::readValue("F0Mx").error(), SMCError::keyNotFound);
    EXPECT_FLOAT_EQ(read("F0Md"), 0.0f);  // pwm1_enable 5 is the chip's own curve
    EXPECT_NEAR(read("F0Tg"), 300.0f + 120.0f * 5700.0f / 255.0f, 0.01f);
    EXPECT_EQ(SMCBridge::readValue("F1Ac").error(), SMCError::keyNotFound);
    EXPECT_EQ(SMCBridge::readValue("Tp09").error(), SMCError::keyNotFound);
    // The package, not the hottest core nor the board's sensor.
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 52.0f);
}

TEST_F(HwmonKeysTest, FansAreOrderedByDeviceNotByHwmonNumber) {
    for (bool swapped : {false, true}) {
        testing::FakeSysfs tree;
        tree.addHwmon(swapped ? "hwmon1" : "hwmon0", "nct6775", "platform/nct6775.656");
        tree.write(std::string("class/hwmon/") + (swapped ? "hwmon1" : "hwmon0") + "/fan2_input", "900");
        tree.addHwmon(swapped ? "hwmon0" : "hwmon1", "amdgpu", "pci0000:00/0000:03:00.0");
        tree.write(std::string("class/hwmon/") + (swapped ? "hwmon0" : "hwmon1") + "/fan1_input", "1500");
        SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(tree.root()));
        EXPECT_FLOAT_EQ(read("FNum"), 2.0f);
        EXPECT_FLOAT_EQ(read("F0Ac"), 1500.0f) << swapped;
        EXPECT_FLOAT_EQ(read("F1Ac"), 900.0f) << swapped;  // fan2 is the device's only fan
        SMCBridge::setDriver(nullptr);
    }
}

TEST_F(HwmonKeysTest, OlderDriversWithAttributesUnderDevice) {
    sysfs.write("devices/platform/it87.2608/name", "it87");
    sysfs.write("devices/platform/it87.2608/fan1_input", "1234");
    std::filesystem::create_directories(sysfs.root() + "/class/hwmon/hwmon2");
    std::filesystem::create_symlink(sysfs.root() + "/devices/platform/it87.2608",
                                    sysfs.root() + "/class/hwmon/hwmon2/device");
    install();
    EXPECT_FLOAT_EQ(read("F0Ac"), 1234.0f);
}

TEST_F(HwmonKeysTest, K10tempPrefersTdieOverTheTctlControlValue) {
    sysfs.addK10temp(true);
    install();
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 65.0f);

    testing::FakeSysfs onlyTctl;
    onlyTctl.addK10temp(false);
    SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(onlyTctl.root()));
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 75.0f);
}

TEST_F(HwmonKeysTest, ArmCpuThermalAndThePackageThermalZone) {
    sysfs.addHwmon("hwmon0", "cpu_thermal", "");
    sysfs.write("class/hwmon/hwmon0/temp1_input", "44500");
    install();
    EXPECT_FLOAT_EQ(read("Tp0P"), 44.5f);

    testing::FakeSysfs zones;
    zones.write("class/thermal/thermal_zone0/type", "acpitz");
    zones.write("class/thermal/thermal_zone0/temp", "27800");
    zones.write("class/thermal/thermal_zone1/type", "x86_pkg_temp");
    zones.write("class/thermal/thermal_zone1/temp", "61000");
    SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(zones.root()));
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 61.0f);
}

TEST_F(HwmonKeysTest, AppleSensorsAnswerUnderTheKeyTheyAreLabelledWith) {
    sysfs.addAppleSMC();
    sysfs.addMacSMC();
    install();
    EXPECT_FLOAT_EQ(read("TC0P"), 58.25f);
    EXPECT_FLOAT_EQ(read("TB0T"), 31.0f);
    EXPECT_FLOAT_EQ(read("Tp09"), 47.5f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 47.5f);  // first in the search order
    EXPECT_FLOAT_EQ(read("F0Mx"), 6200.0f);  // applesmc's device path sorts first
    EXPECT_FLOAT_EQ(read("F1Mx"), 5800.0f);
}

TEST_F(HwmonKeysTest, AFileThatVanishedIsAReadFailure) {
    sysfs.addDesktopWithNct6775();
    install();
    ASSERT_TRUE(SMCBridge::open());
    sysfs.remove("class/hwmon/hwmon4/fan1_input");
    sysfs.remove("class/hwmon/hwmon1/temp1_input");
    EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::readFailed);
    EXPECT_EQ(SMCBridge::readValue("Tp0P").error(), SMCError::readFailed);
    EXPECT_EQ(SMCBridge::readCPUTemperature(), 0.0f);
}

}  // namespace
}  // namespace korvane
