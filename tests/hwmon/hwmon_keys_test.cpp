// Which hwmon devices become which SMC keys, read through the bridge the way
// both programs read them.
#include <gtest/gtest.h>

#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

using linux_platform::HwmonSMCDriver;

class HwmonKeysTest : public ::testing::Test {
protected:
    void use(const testing::HwmonTree& tree) { SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(tree.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }
    static float read(std::string_view key) { return SMCBridge::readValue(key).value(); }

    testing::HwmonTree sysfs;
    log::CapturedLines logged;
};

TEST_F(HwmonKeysTest, OnlyAppleSMCOpensAndOnlyWithAFanOrACpuSensor) {
    use(sysfs);
    EXPECT_FALSE(SMCBridge::open());  // no class/hwmon at all
    sysfs.addHwmon("hwmon0", "nvme", "pci0000:00/0000:01:00.0/nvme/nvme0");
    sysfs.set("hwmon0/temp1_input", "41000");
    EXPECT_FALSE(SMCBridge::open());  // a disk's sensor is no CPU temperature

    sysfs.addHwmon("hwmon1", "cpu_thermal", "");
    sysfs.set("hwmon1/temp1_input", "44500");
    EXPECT_EQ(HwmonSMCDriver(sysfs.root()).open("AppleSMCKeysEndpoint").error(), SMCDriverFailure::serviceNotFound);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_EQ(logged.lines(), std::vector<std::string>{"SMCBridge: Bağlantı açıldı — AppleSMC"});
    EXPECT_FLOAT_EQ(read("FNum"), 0.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 44.5f);
}

TEST_F(HwmonKeysTest, DesktopWithCoretempAndAPwmOnlyFan) {
    sysfs.addDesktopWithNct6775(5);
    use(sysfs);
    EXPECT_FLOAT_EQ(read("FNum"), 1.0f);
    EXPECT_FLOAT_EQ(read("F0Ac"), 1100.0f);
    EXPECT_FLOAT_EQ(read("F0Mn"), 300.0f);
    EXPECT_EQ(SMCBridge::readValue("F0Mx").error(), SMCError::keyNotFound);
    EXPECT_FLOAT_EQ(read("F0Md"), 0.0f);  // enable 5 is the chip's own curve
    EXPECT_NEAR(read("F0Tg"), 300.0f + 120.0f * 5700.0f / 255.0f, 0.01f);
    EXPECT_EQ(SMCBridge::readValue("F1Ac").error(), SMCError::keyNotFound);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 52.0f);  // the package, not the hottest core

    sysfs.remove("class/hwmon/hwmon4/fan1_input");
    EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::readFailed);
}

TEST_F(HwmonKeysTest, FansAreOrderedByDeviceNotByHwmonNumber) {
    for (std::string first : {"hwmon0", "hwmon1"}) {
        std::string second = first == "hwmon0" ? "hwmon1" : "hwmon0";
        testing::HwmonTree tree;
        tree.addHwmon(first, "nct6775", "platform/nct6775.656");
        tree.set("" + first + "/fan2_input", "900");
        tree.addHwmon(second, "amdgpu", "pci0000:00/0000:03:00.0");
        tree.set("" + second + "/fan1_input", "1500");
        use(tree);
        EXPECT_FLOAT_EQ(read("F0Ac"), 1500.0f) << first;
        EXPECT_FLOAT_EQ(read("F1Ac"), 900.0f) << first;
        SMCBridge::setDriver(nullptr);
    }
}

TEST_F(HwmonKeysTest, K10tempPrefersTdieOverTheTctlControlValue) {
    sysfs.addHwmon("hwmon2", "k10temp", "pci0000:00/0000:00:18.3");
    sysfs.set("hwmon2/temp1_label", "Tctl");
    sysfs.set("hwmon2/temp1_input", "75000");
    use(sysfs);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 75.0f);
    sysfs.set("hwmon2/temp2_label", "Tdie");
    sysfs.set("hwmon2/temp2_input", "65000");
    use(sysfs);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 65.0f);
}

TEST_F(HwmonKeysTest, AppleSensorsAnswerUnderTheKeyTheyAreLabelledWith) {
    sysfs.addAppleSMC();
    sysfs.addMacSMC();
    use(sysfs);
    EXPECT_FLOAT_EQ(read("TC0P"), 58.25f);
    EXPECT_FLOAT_EQ(read("TB0T"), 31.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 47.5f);  // Tp09 comes first in the search
    EXPECT_FLOAT_EQ(read("F0Mx"), 6200.0f);  // applesmc's device path sorts first
    EXPECT_FLOAT_EQ(read("F1Mx"), 5800.0f);
}

}  // namespace
}  // namespace korvane
