// The fan manager of the application and the built helper binary, over the
// real socket, on one fixture hwmon tree: the application reads it as the
// user, the helper writes it.
#include <gtest/gtest.h>
#include <signal.h>

#include <optional>

#include "app/client/xpc_manager.h"
#include "app/monitors/fan_manager.h"
#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "shared/smc/smc_bridge.h"
#include "tests/app_client/client_test_support.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane::app {
namespace {

TEST(FanManagerWithTheHelper, ManualModeLeavesPwmEnableAtOneAndTheTargetWritten) {
    log::CapturedLines logLines;
    testing::HwmonTree sysfs;
    sysfs.addDesktopWithNct6775(5);
    testing::FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    testing::HelperDaemon daemon(KORVANE_HELPER_BINARY, socketPath, folder.path("helper.log"),
                                 testing::Environment{{"KORVANE_SYSFS_ROOT", sysfs.root()}});
    ASSERT_TRUE(daemon.waitUntilListening()) << daemon.log();

    VirtualMainLoop loop;
    linux_platform::MonitorPlatform platform = linux_platform::installMonitorPlatform({sysfs.root(), folder.root()});
    linux_platform::SocketHelperConnector connector(socketPath);
    XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    {
        FanManager fans({loop, xpc});
        ASSERT_TRUE(fans.hasFans.get());
        EXPECT_EQ(fans.minRPM.get(), 300);
        EXPECT_EQ(fans.maxRPM.get(), 6000);  // the chip reports no maximum
        EXPECT_EQ(fans.cpuTemperature.get(), 52.0f);

        testing::awaitOn(loop, [&] { return fans.toggleManualMode(true); });
        EXPECT_EQ(fans.lastReadError.get(), std::nullopt);
        EXPECT_TRUE(fans.isManualMode.get());
        EXPECT_EQ(fans.targetRPM.get(), 1100);  // where the fan was turning
        EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "1");
        EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "36");  // 1100 RPM on the 300..6000 scale

        // The application sees the helper's change on its next poll.
        sysfs.set("hwmon4/fan1_input", "1234", 0444);
        loop.advanceBy(seconds(15));
        EXPECT_EQ(fans.currentRPM.get(), 1234);
        EXPECT_TRUE(fans.isSmcConnected.get());
    }
    EXPECT_EQ(daemon.stop(SIGTERM), 0);
    SMCBridge::setDriver(nullptr);
}

}  // namespace
}  // namespace korvane::app
