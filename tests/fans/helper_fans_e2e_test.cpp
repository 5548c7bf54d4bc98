// The built helper and korvanectl, talking over a real socket, driving a fan
// of a fake sysfs tree made of plain files.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>

#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

class HelperFansEndToEnd : public ::testing::Test {
protected:
    void start(int pwmEnable) {
        sysfs.addDesktopWithNct6775(pwmEnable);
        helper.emplace(KORVANE_HELPER_BINARY, dir.path("helper.sock"), dir.path("helper.log"),
                       testing::Environment{{"KORVANE_SYSFS_ROOT", sysfs.root()}});
        ASSERT_TRUE(helper->waitUntilListening()) << helper->log();
    }
    testing::CommandResult ctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {KORVANE_CTL_BINARY, "--socket", dir.path("helper.sock")});
        return testing::runCommand(arguments);
    }

    testing::HwmonTree sysfs;
    testing::FixtureTree dir;  // the socket and the helper's log
    std::optional<testing::HelperDaemon> helper;
};

TEST_F(HelperFansEndToEnd, ManualSpeedThenSigtermHandsTheFanBackToItsCurve) {
    start(5);
    auto manual = ctl({"fan-mode", "0", "manual"});
    EXPECT_EQ(manual.exitStatus, 0) << manual.err;
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");  // held where the curve had it

    auto speed = ctl({"fan-rpm", "0", "2500"});
    EXPECT_EQ(speed.exitStatus, 0) << speed.err;
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "98");  // 2500 RPM on the 300..6000 scale

    auto missing = ctl({"fan-mode", "7", "manual"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err, "Failed to set fan 7 mode: keyNotFound\n");

    EXPECT_EQ(helper->stop(SIGTERM), 0);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
    std::string log = helper->log();
    EXPECT_NE(log.find("SMCBridge: Bağlantı açıldı — AppleSMC"), std::string::npos) << log;
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 mode set to Manual"), std::string::npos);
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 target RPM set to 2500"), std::string::npos);
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 mode restored to Auto"), std::string::npos);
}

TEST_F(HelperFansEndToEnd, SigintRestoresAsSigtermDoes) {
    start(3);
    EXPECT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
    EXPECT_EQ(helper->stop(SIGINT), 0);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "3");
}

}  // namespace
}  // namespace korvane
