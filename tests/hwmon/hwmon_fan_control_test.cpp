// Switching fans and setting their speed through SMC keys on each kind of
// chip: pwm-only Super I/O, applesmc, macsmc, and a fan we may not touch.
#include <gtest/gtest.h>

#include "platform/linux/hwmon/fan_channel.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

using linux_platform::pwmForSpeed;
using linux_platform::speedForPwm;

class HwmonFanControlTest : public ::testing::Test {
protected:
    void install() { SMCBridge::setDriver(std::make_shared<linux_platform::HwmonSMCDriver>(sysfs.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }
    static void write(std::string_view key, float value) {
        EXPECT_TRUE(SMCBridge::writeValue(key, value).has_value()) << key << " " << value;
    }

    testing::HwmonTree sysfs;
    log::CapturedLines quiet;
};

TEST(PwmScale, SpeedMapsLinearlyBetweenMinAndMaxAndClamps) {
    EXPECT_EQ(pwmForSpeed(300, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(2500, 300, 6000), 98);  // 255 * 2200 / 5700 = 98.4
    EXPECT_EQ(pwmForSpeed(100, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(9000, 300, 6000), 255);
    EXPECT_EQ(pwmForSpeed(1000, 2000, 2000), 255);  // no usable scale: full duty
    for (int duty : {0, 1, 98, 255}) EXPECT_EQ(pwmForSpeed(speedForPwm(duty, 300, 6000), 300, 6000), duty);
}

TEST_F(HwmonFanControlTest, PwmFanGoesManualAndBackToTheEnableItHadAtOpen) {
    sysfs.addDesktopWithNct6775(5);
    install();
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

TEST_F(HwmonFanControlTest, AManualEnableFoundAtOpenIsNotWrittenBackAsAutomatic) {
    sysfs.addDesktopWithNct6775(1);
    install();
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "2");
}

TEST_F(HwmonFanControlTest, AppleSMCUsesItsManualSwitchAndOutput) {
    sysfs.addAppleSMC();
    install();
    write("F0Md", 1.0f);
    write("F0Tg", 2500.0f);
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "1");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_output"), "2500");
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", -100.0f).error(), SMCError::writeFailed);
    write("F0Md", 0.0f);
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "0");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_output"), "2500");
}

TEST_F(HwmonFanControlTest, MacSMCTargetInsideTheLimitsIsManualAndZeroIsAutomatic) {
    sysfs.addMacSMC();
    install();
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

TEST_F(HwmonFanControlTest, FansWithoutControlAndReadOnlyKeysRefuseWrites) {
    sysfs.addDesktopWithNct6775(5);
    sysfs.set("hwmon4/pwm1_enable", "5", 0444);  // fan control not enabled
    install();
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Tg").value(), 1100.0f);  // where it turns
    EXPECT_EQ(SMCBridge::writeValue("F0Ac", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F7Md", 1.0f).error(), SMCError::keyNotFound);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
}

}  // namespace
}  // namespace korvane
