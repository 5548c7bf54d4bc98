// Switching fans and setting their speed through SMC keys, on each kind of
// chip: pwm-only Super I/O, applesmc, macsmc, a closed-loop target, and a fan
// the driver may not touch.
#include <gtest/gtest.h>

#include "platform/linux/hwmon/fan_channel.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/fake_sysfs.h"

namespace korvane {
namespace {

using linux_platform::HwmonSMCDriver;
using linux_platform::pwmForSpeed;
using linux_platform::speedForPwm;

class HwmonFanControlTest : public ::testing::Test {
protected:
    void install() { SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(sysfs.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }

    void write(std::string_view key, float value) {
        auto written = SMCBridge::writeValue(key, value);
        EXPECT_TRUE(written.has_value()) << key << " " << value;
    }
    std::string file(const std::string& hwmon, const std::string& name) {
        return sysfs.read("class/hwmon/" + hwmon + "/" + name);
    }

    testing::FakeSysfs sysfs;
    log::CapturedLines quiet;
};

TEST(PwmScale, SpeedMapsLinearlyBetweenMinAndMax) {
    EXPECT_EQ(pwmForSpeed(300, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(6000, 300, 6000), 255);
    EXPECT_EQ(pwmForSpeed(2500, 300, 6000), 98);   // 255 * 2200 / 5700 = 98.4
    EXPECT_EQ(pwmForSpeed(100, 300, 6000), 0);     // below the scale
    EXPECT_EQ(pwmForSpeed(9000, 300, 6000), 255);  // above it
    EXPECT_EQ(pwmForSpeed(1000, 2000, 2000), 255);  // a scale without height: full duty
    for (int duty : {0, 1, 98, 254, 255}) {
        EXPECT_EQ(pwmForSpeed(speedForPwm(duty, 300, 6000), 300, 6000), duty);
    }
}

TEST_F(HwmonFanControlTest, PwmFanGoesManualAndBackToTheEnableItHadAtOpen) {
    sysfs.addDesktopWithNct6775(5);
    install();
    write("F0Tg", 2500.0f);  // in automatic mode a speed is only remembered
    EXPECT_EQ(file("hwmon4", "pwm1"), "120");
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "5");

    write("F0Md", 1.0f);
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "1");
    EXPECT_EQ(file("hwmon4", "pwm1"), "98");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 1.0f);
    EXPECT_NEAR(SMCBridge::readValue("F0Tg").value(), 2500.0f, 5700.0f / 255.0f);

    write("F0Tg", 6000.0f);
    EXPECT_EQ(file("hwmon4", "pwm1"), "255");
    write("F0Md", 0.0f);
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "5");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 0.0f);
}

TEST_F(HwmonFanControlTest, SwitchingToManualWithoutASpeedHoldsTheCurrentDuty) {
    sysfs.addDesktopWithNct6775(2);
    install();
    sysfs.write("class/hwmon/hwmon4/pwm1", "77");  // the chip's curve moved on since open
    write("F0Md", 1.0f);
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "1");
    EXPECT_EQ(file("hwmon4", "pwm1"), "77");
}

TEST_F(HwmonFanControlTest, AManualOrFullSpeedEnableFoundAtOpenIsNotWrittenBackAsAutomatic) {
    sysfs.addDesktopWithNct6775(1);
    install();
    write("F0Md", 0.0f);
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "2");
}

TEST_F(HwmonFanControlTest, AReopenWhileManualKeepsTheAutomaticValueFirstSeen) {
    sysfs.addDesktopWithNct6775(5);
    auto driver = std::make_shared<HwmonSMCDriver>(sysfs.root());
    SMCBridge::setDriver(driver);
    write("F0Md", 1.0f);
    SMCBridge::close();
    write("F0Md", 0.0f);  // reopens and finds pwm1_enable at 1
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "5");
}

TEST_F(HwmonFanControlTest, AppleSMCUsesItsManualSwitchAndOutput) {
    sysfs.addAppleSMC();
    install();
    write("F0Md", 1.0f);
    write("F0Tg", 2500.0f);
    EXPECT_EQ(file("hwmon0", "fan1_manual"), "1");
    EXPECT_EQ(file("hwmon0", "fan1_output"), "2500");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Tg").value(), 2500.0f);
    write("F0Md", 0.0f);
    EXPECT_EQ(file("hwmon0", "fan1_manual"), "0");
}

TEST_F(HwmonFanControlTest, MacSMCTargetInsideTheLimitsIsManualAndZeroIsAutomatic) {
    sysfs.addMacSMC();
    install();
    write("F0Tg", 3000.0f);
    EXPECT_EQ(file("hwmon3", "fan1_target"), "2350");  // still automatic
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 0.0f);

    write("F0Md", 1.0f);
    EXPECT_EQ(file("hwmon3", "fan1_target"), "3000");
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Md").value(), 1.0f);
    // A speed under the minimum must not read as "automatic" to the SMC.
    write("F0Tg", 0.0f);
    EXPECT_EQ(file("hwmon3", "fan1_target"), "1500");
    write("F0Tg", 9000.0f);
    EXPECT_EQ(file("hwmon3", "fan1_target"), "5800");

    write("F0Md", 0.0f);
    EXPECT_EQ(file("hwmon3", "fan1_target"), "0");
    write("F0Md", 1.0f);  // no speed asked for since: hold the actual one
    EXPECT_EQ(file("hwmon3", "fan1_target"), "2300");
}

TEST_F(HwmonFanControlTest, ClosedLoopTargetRestoresTheTargetFoundAtOpen) {
    sysfs.addHwmon("hwmon0", "max6650", "i2c-0/0-001b");
    sysfs.write("class/hwmon/hwmon0/fan1_input", "2900");
    sysfs.write("class/hwmon/hwmon0/fan1_target", "3000");
    install();
    write("F0Md", 1.0f);
    write("F0Tg", 4200.0f);
    EXPECT_EQ(file("hwmon0", "fan1_target"), "4200");
    write("F0Md", 0.0f);
    EXPECT_EQ(file("hwmon0", "fan1_target"), "3000");
}

TEST_F(HwmonFanControlTest, FansWithoutControlAndKeysWithoutWritesRefuse) {
    sysfs.addDesktopWithNct6775(5);
    sysfs.write("class/hwmon/hwmon4/pwm1_enable", "5", 0444);  // fan control not enabled
    install();
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Tg").value(), 1100.0f);  // where it turns
    EXPECT_EQ(SMCBridge::writeValue("F0Ac", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("FNum", 2.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F7Md", 1.0f).error(), SMCError::keyNotFound);
    EXPECT_EQ(file("hwmon4", "pwm1_enable"), "5");
    EXPECT_EQ(file("hwmon4", "pwm1"), "120");
}

TEST_F(HwmonFanControlTest, NegativeAndMalformedWritesChangeNothing) {
    sysfs.addAppleSMC();
    install();
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", -100.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(file("hwmon0", "fan1_output"), "2000");

    HwmonSMCDriver driver(sysfs.root());
    auto connection = driver.open("AppleSMC").value();
    SMCParamStruct request;
    request.key = SMCBridge::stringToFourCC("F0Tg");
    request.command = smc_command::kWriteKey;
    request.dataSize = 2;  // flt is four bytes
    EXPECT_EQ(driver.exchange(connection, request)->result, smc_result::kKeySizeMismatch);
    EXPECT_FALSE(driver.exchange(connection + 1, request).has_value());
    EXPECT_EQ(file("hwmon0", "fan1_output"), "2000");
}

}  // namespace
}  // namespace korvane
