// The helper's two fan commands over hwmon, and the return of manual fans to
// automatic when the helper stops.
#include <gtest/gtest.h>

#include "helper/fan_restore.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/smc/smc_bridge.h"
#include "tests/fakes/helper_tool_fixture.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

class FanCommandsTest : public ::testing::Test, public testing::HelperToolFixture {
protected:
    void SetUp() override { SMCBridge::setDriver(std::make_shared<linux_platform::HwmonSMCDriver>(sysfs.root())); }
    void TearDown() override {
        helper::manualFanRegistry().restoreAutomatic();
        SMCBridge::setDriver(nullptr);
    }
    // The reply as "ok" or its message.
    std::string mode(std::int64_t fan, bool manual) {
        std::string answer;
        tool->setFanControlMode(fan, manual, [&](bool ok, std::optional<std::string> m) { answer = ok ? "ok" : *m; });
        return answer;
    }
    std::string rpm(std::int64_t fan, std::int64_t speed) {
        std::string answer;
        tool->setFanTargetRPM(fan, speed, [&](bool ok, std::optional<std::string> m) { answer = ok ? "ok" : *m; });
        return answer;
    }

    testing::HwmonTree sysfs;
};

TEST_F(FanCommandsTest, FailuresNameTheCaseAndWriteNothing) {
    // No hwmon device at all, as in many virtual machines.
    EXPECT_EQ(mode(0, true), "SMC connection failed — cannot set fan mode");
    EXPECT_EQ(rpm(0, 2000), "SMC connection failed — cannot set fan RPM");

    sysfs.addAppleSMC();
    EXPECT_EQ(mode(7, true), "Failed to set fan 7 mode: keyNotFound");
    EXPECT_EQ(rpm(0, -40), "Failed to set fan 0 RPM: writeFailed");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "0");
    EXPECT_EQ(sysfs.get("hwmon0/fan1_output"), "1800");

    EXPECT_TRUE(helper::manualFanRegistry().manualFans().empty());
}

TEST_F(FanCommandsTest, StoppingReturnsExactlyTheFansStillInManualOnce) {
    sysfs.addAppleSMC(3);
    mode(0, true);
    mode(1, true);
    mode(2, true);
    mode(1, false);  // the user already gave it back
    sysfs.refuseWrites("hwmon0/fan3_manual");

    helper::manualFanRegistry().restoreAutomatic();
    helper::manualFanRegistry().restoreAutomatic();
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "0");
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Fan 0 mode restored to Auto"), 1);
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Fan 1 mode restored"), 0);
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Failed to restore fan 2 mode to Auto: writeFailed"), 1);
}

}  // namespace
}  // namespace korvane
