// hwmon devices as SMC keys, through the bridge the way both programs use
// them: which devices become which keys, and switching fans and setting their
// speed on each kind of chip (pwm-only Super I/O, applesmc, macsmc, and a fan
// we may not touch).
#include <gtest/gtest.h>

#include <functional>

#include "platform/linux/hwmon/fan_channel.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

using linux_platform::HwmonSMCDriver;
using linux_platform::pwmForSpeed;
using linux_platform::speedForPwm;

class HwmonSMCDriverTest : public ::testing::Test {
protected:
    void use(const testing::HwmonTree& tree) { SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(tree.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }
    static float read(std::string_view key) { return SMCBridge::readValue(key).value(); }
    static void write(std::string_view key, float value) {
        EXPECT_TRUE(SMCBridge::writeValue(key, value).has_value()) << key << " " << value;
    }

    testing::HwmonTree sysfs;
    log::CapturedLines logged;
};

TEST_F(HwmonSMCDriverTest, OnlyAppleSMCOpensAndOnlyWithAFanOrACpuSensor) {
    use(sysfs);
    EXPECT_FALSE(SMCBridge::open());  // no class/hwmon at all
    sysfs.addHwmon("hwmon0", "nvme", "pci0000:00/0000:01:00.0/nvme/nvme0");
    sysfs.set("hwmon0/temp1_input", "41000");
    EXPECT_FALSE(SMCBridge::open());  // a disk's sensor is no CPU temperature

    sysfs.addHwmon("hwmon1", "cpu_thermal", "");
    sysfs.set("hwmon1/temp1_input", "44500");
    EXPECT_EQ(HwmonSMCDriver(sysfs.root()).open("AppleSMCKeysEndpoint").error(), SMCDriverFailure::serviceNotFound);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_FLOAT_EQ(read("FNum"), 0.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 44.5f);
}

TEST_F(HwmonSMCDriverTest, DesktopWithCoretempAndAPwmOnlyFan) {
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

// Fan n is the n-th of the machine's own fans: a graphics card's never, the
// laptop's or the board's chip first, anything else only when nothing better
// exists; hwmonN numbers play no part.
TEST_F(HwmonSMCDriverTest, FanZeroIsTheBestRankedSystemFan) {
    struct Machine {
        const char* name;
        std::function<void(const testing::HwmonTree&)> build;
        std::vector<float> fans;  // F0Ac, F1Ac, ...
    };
    auto fan = [](const testing::HwmonTree& tree, const std::string& hwmon, const std::string& name,
                  const std::string& device, std::vector<int> rpms) {
        tree.addHwmon(hwmon, name, device);
        for (std::size_t n = 0; n < rpms.size(); ++n) {
            tree.set(hwmon + "/fan" + std::to_string(n + 1) + "_input", std::to_string(rpms[n]));
            tree.set(hwmon + "/pwm" + std::to_string(n + 1), "128");
            tree.set(hwmon + "/pwm" + std::to_string(n + 1) + "_enable", "2");
        }
    };
    const std::string gpuSlot = "pci0000:00/0000:00:01.1/0000:03:00.0";
    const Machine machines[] = {
        {"a desktop with an amdgpu card (its PCI path sorts first) and an nct6775 chip",
         [&](const auto& tree) {
             fan(tree, "hwmon0", "amdgpu", gpuSlot, {1500});
             fan(tree, "hwmon1", "nct6775", "platform/nct6775.656", {1100, 900});
         },
         {1100, 900}},
        {"a ThinkPad beside an ACPI fan device",
         [&](const auto& tree) {
             fan(tree, "hwmon0", "acpi_fan", "LNXSYSTM:00/LNXSYBUS:00/PNP0C0B:00", {4000});
             fan(tree, "hwmon5", "thinkpad", "platform/thinkpad_hwmon", {2900, 3100});
         },
         {2900, 3100}},
        {"a Dell laptop with an NVIDIA card on nouveau",
         [&](const auto& tree) {
             fan(tree, "hwmon1", "nouveau", "pci0000:00/0000:00:01.0/0000:01:00.0", {1800});
             fan(tree, "hwmon3", "dell_smm", "platform/dell_smm_hwmon", {2400, 2600});
         },
         {2400, 2600}},
        {"a graphics card alone",
         [&](const auto& tree) {
             fan(tree, "hwmon0", "amdgpu", gpuSlot, {1500});
             tree.addHwmon("hwmon1", "k10temp", "pci0000:00/0000:00:18.3");
             tree.set("hwmon1/temp1_input", "50000");
         },
         {}},
        {"a fan of no known kind when nothing better exists, but no display controller's",
         [&](const auto& tree) {
             fan(tree, "hwmon0", "gpu_board", gpuSlot, {1500});
             tree.write("devices/" + gpuSlot + "/class", "0x030000\n");
             fan(tree, "hwmon1", "pwmfan", "platform/pwm-fan", {3000});
         },
         {3000}},
    };
    for (const auto& machine : machines) {
        testing::HwmonTree tree;
        machine.build(tree);
        use(tree);
        auto valueOf = [](const std::string& key) {
            auto value = SMCBridge::readValue(key);
            return value ? *value : -1.0f;
        };
        EXPECT_FLOAT_EQ(valueOf("FNum"), static_cast<float>(machine.fans.size())) << machine.name;
        for (std::size_t n = 0; n < machine.fans.size(); ++n) {
            EXPECT_FLOAT_EQ(valueOf("F" + std::to_string(n) + "Ac"), machine.fans[n]) << machine.name;
        }
        std::string beyond = "F" + std::to_string(machine.fans.size()) + "Md";
        EXPECT_FALSE(SMCBridge::writeValue(beyond, 1.0f)) << machine.name;  // no key reaches an excluded fan
        SMCBridge::setDriver(nullptr);
    }
}

TEST_F(HwmonSMCDriverTest, K10tempPrefersTdieOverTheTctlControlValue) {
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

TEST_F(HwmonSMCDriverTest, AppleSensorsAnswerUnderTheKeyTheyAreLabelledWith) {
    sysfs.addAppleSMC();
    sysfs.addMacSMC();
    use(sysfs);
    EXPECT_FLOAT_EQ(read("TC0P"), 58.25f);
    EXPECT_FLOAT_EQ(read("TB0T"), 31.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 47.5f);  // Tp09 comes first in the search
    EXPECT_FLOAT_EQ(read("F0Mx"), 6200.0f);  // applesmc's device path sorts first
    EXPECT_FLOAT_EQ(read("F1Mx"), 5800.0f);
}

TEST(PwmScale, SpeedMapsLinearlyBetweenMinAndMaxAndClamps) {
    EXPECT_EQ(pwmForSpeed(300, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(2500, 300, 6000), 98);  // 255 * 2200 / 5700 = 98.4
    EXPECT_EQ(pwmForSpeed(100, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(9000, 300, 6000), 255);
    EXPECT_EQ(pwmForSpeed(1000, 2000, 2000), 255);  // no usable scale: full duty
    for (int duty : {0, 1, 98, 255}) EXPECT_EQ(pwmForSpeed(speedForPwm(duty, 300, 6000), 300, 6000), duty);
}

TEST_F(HwmonSMCDriverTest, PwmFanGoesManualAndBackToTheEnableItHadAtOpen) {
    sysfs.addDesktopWithNct6775(5);
    use(sysfs);
    write("F0Tg", 2500.0f);  // automatic: only remembered
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
    write("F0Md", 1.0f);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "98");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 1.0f);
    // A reopen finds enable 1 but still knows 5 is this fan's automatic.
    SMCBridge::close();
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
}

TEST_F(HwmonSMCDriverTest, AManualEnableFoundAtOpenIsNotWrittenBackAsAutomatic) {
    sysfs.addDesktopWithNct6775(1);
    use(sysfs);
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "2");
}

TEST_F(HwmonSMCDriverTest, AppleSMCUsesItsManualSwitchAndOutput) {
    sysfs.addAppleSMC();
    use(sysfs);
    write("F0Md", 1.0f);
    write("F0Tg", 2500.0f);
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "1");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_output"), "2500");
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", -100.0f).error(), SMCError::writeFailed);
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "0");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_output"), "2500");
}

TEST_F(HwmonSMCDriverTest, MacSMCTargetInsideTheLimitsIsManualAndZeroIsAutomatic) {
    sysfs.addMacSMC();
    use(sysfs);
    write("F0Tg", 3000.0f);
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "2350");  // still automatic
    write("F0Md", 1.0f);
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "3000");
    write("F0Tg", 0.0f);  // must not turn into "automatic"
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "1500");
    write("F0Tg", 9000.0f);
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "5800");
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "0");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 0.0f);
    write("F0Md", 1.0f);  // no speed asked for since: hold the actual one
    EXPECT_EQ(sysfs.get("hwmon3/fan1_target"), "2300");
}

TEST_F(HwmonSMCDriverTest, FansWithoutControlAndReadOnlyKeysRefuseWrites) {
    sysfs.addDesktopWithNct6775(5);
    sysfs.set("hwmon4/pwm1_enable", "5", 0444);  // fan control not enabled
    use(sysfs);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Tg").value(), 1100.0f);  // where it turns
    EXPECT_EQ(SMCBridge::writeValue("F0Ac", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F7Md", 1.0f).error(), SMCError::keyNotFound);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
}

}  // namespace
}  // namespace korvane
