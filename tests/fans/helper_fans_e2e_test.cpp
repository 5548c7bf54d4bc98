// The built helper, driven by korvanectl or the application's fan manager over
// a real socket, and a fan of a fake sysfs tree made of plain files.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "app/client/xpc_manager.h"
#include "app/monitors/fan_manager.h"
#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/smc/smc_bridge.h"
#include "tests/app_client/client_test_support.h"
#include "tests/e2e/served_helper.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

class HelperFansEndToEnd : public testing::ServedHelper {
protected:
    void start(int pwmEnable) {
        sysfs.addDesktopWithNct6775(pwmEnable);
        startHelper({{"KORVANE_SYSFS_ROOT", sysfs.root()}});
    }

    testing::HwmonTree sysfs;
};

// The application's fan manager, reading hwmon as the user, and the helper
// writing it, over the real socket. (That SIGTERM hands the fan back to its
// curve is the helper faults test's.)
TEST_F(HelperFansEndToEnd, TheApplicationsFanManagerDrivesTheFanThroughTheHelper) {
    start(5);
    VirtualMainLoop loop;
    linux_platform::MonitorPlatform platform = linux_platform::installMonitorPlatform({sysfs.root(), dir.root()});
    linux_platform::SocketHelperConnector connector(dir.path("helper.sock"));
    app::XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = dir.root()});
    ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    {
        app::FanManager fans({loop, xpc});
        ASSERT_TRUE(fans.hasFans.get());
        EXPECT_EQ(fans.maxRPM.get(), 6000);  // the chip reports no maximum

        testing::awaitOn(loop, [&] { return fans.toggleManualMode(true); });
        EXPECT_EQ(fans.lastReadError.get(), std::nullopt);
        EXPECT_TRUE(fans.isManualMode.get());
        EXPECT_EQ(fans.targetRPM.get(), 1100);  // where the fan was turning
        EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
        // The duty cycle stays where the chip had it: 1100 RPM mapped onto
        // the 300..6000 scale would have been 36, slower than it turned.
        EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
        testing::awaitOn(loop, [&] { return fans.setTargetRPM(2500); });
        EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "98");
    }
    SMCBridge::setDriver(nullptr);
}

// A killed helper restores nothing itself. What the service manager runs
// after every stop puts the fan back with no helper serving; failing that,
// the next helper does before it answers anyone, and its own "automatic"
// later is the chip's value, not the 2 a fan in manual would suggest.
TEST_F(HelperFansEndToEnd, AFanLeftInManualByAKilledHelperIsHandedBack) {
    start(5);
    auto killInManual = [&] {
        ASSERT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
        EXPECT_EQ(helper->stop(SIGKILL), 128 + SIGKILL);
        ASSERT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
    };
    const testing::Environment environment{{"KORVANE_SYSFS_ROOT", sysfs.root()},
                                           {"KORVANE_HELPER_SOCKET", dir.path("helper.sock")}};
    killInManual();
    auto restore = testing::runCommand({KORVANE_HELPER_BINARY, "--restore-fans"}, environment);
    EXPECT_EQ(restore.exitStatus, 0) << restore.err;
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
    EXPECT_FALSE(std::filesystem::exists(dir.path("fans.state")));

    startHelper({{"KORVANE_SYSFS_ROOT", sysfs.root()}});
    killInManual();
    helper.emplace(KORVANE_HELPER_BINARY, dir.path("helper.sock"), dir.path("helper2.log"), environment);
    // Listening comes before the restore; answering only after it.
    ASSERT_TRUE(helper->waitUntilListening()) << helper->log();
    auto ping = ctl({"ping"});
    ASSERT_EQ(ping.exitStatus, 0) << ping.err << helper->log();
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
    EXPECT_NE(helper->log().find("/nct6775.656#1 restored to Auto after an unclean stop"), std::string::npos)
        << helper->log();
    EXPECT_FALSE(std::filesystem::exists(dir.path("fans.state")));

    // Manual again, then automatic by request: the recorded 5, not 2.
    ASSERT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path("fans.state")));
    ASSERT_EQ(ctl({"fan-mode", "0", "auto"}).exitStatus, 0);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
    EXPECT_FALSE(std::filesystem::exists(dir.path("fans.state")));
}

// SIGINT restores as SIGTERM does, to the chip's own automatic value.
TEST_F(HelperFansEndToEnd, AFanIsNotSwitchedWhenItsWayBackCannotBeRecordedAndSigintRestores) {
    start(3);
    // A folder where the record should be makes the record's rename fail.
    dir.mkdir("fans.state/blocked");
    auto manual = ctl({"fan-mode", "0", "manual"});
    EXPECT_EQ(manual.exitStatus, 1);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "3");
    std::filesystem::remove_all(dir.path("fans.state"));
    ASSERT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
    EXPECT_EQ(helper->stop(SIGINT), 0);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "3");
}

// The graphics card's PCI path sorts before the board's chip, and a helper
// that once took the card's fan for fan 0 left it in manual: the next one
// hands the card's fan back to its driver and never reaches it again.
TEST_F(HelperFansEndToEnd, FanZeroIsTheBoardsChipNeverTheGraphicsCard) {
    const std::string card = "pci0000:00/0000:00:01.1/0000:03:00.0";
    sysfs.addHwmon("hwmon0", "amdgpu", card);
    sysfs.set("hwmon0/fan1_input", "1500", 0444);
    sysfs.set("hwmon0/pwm1", "90");
    sysfs.set("hwmon0/pwm1_enable", "1");
    dir.write("fans.state", "2\tamdgpu@" + std::filesystem::canonical(sysfs.path("devices/" + card)).string() +
                                "#1\n");
    start(5);
    ASSERT_EQ(ctl({"ping"}).exitStatus, 0);
    EXPECT_EQ(sysfs.get("hwmon0/pwm1_enable"), "2");

    auto manual = ctl({"fan-mode", "0", "manual"});
    EXPECT_EQ(manual.exitStatus, 0) << manual.err;
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
    EXPECT_EQ(ctl({"fan-rpm", "1", "2500"}).exitStatus, 1);  // no key reaches the card's fan
    EXPECT_EQ(sysfs.get("hwmon0/pwm1_enable"), "2");
    EXPECT_EQ(sysfs.get("hwmon0/pwm1"), "90");
}

}  // namespace
}  // namespace korvane
