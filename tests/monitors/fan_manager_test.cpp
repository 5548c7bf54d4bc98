// The fan manager on the virtual clock, reading a fixture hwmon tree through
// the bridge as the application does and changing the fan through an
// in-process daemon on a real socket.
#include "app/monitors/fan_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "app/client/xpc_manager.h"
#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane::app {
namespace {

using testing::awaitOn;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FanManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(served.listening);
        ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    }
    void TearDown() override {
        fans.reset();
        SMCBridge::setDriver(nullptr);
    }

    FanManager& make() {
        fans.emplace(FanManager::Dependencies{loop, xpc});
        return *fans;
    }
    // Waits, in real time, for the daemon's replies to reach the main loop.
    bool settle(const std::function<bool()>& done) { return loop.runUntil(done, std::chrono::seconds(10)); }
    // An attribute of the applesmc fan or sensors (see addAppleSMC).
    void set(const std::string& attribute, const std::string& value) { sysfs.set("hwmon0/" + attribute, value); }
    void setCelsius(int degrees) { set("temp2_input", std::to_string(degrees * 1000)); }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    testing::HwmonTree sysfs;
    // The bridge's driver as the application installs it, over `sysfs`.
    linux_platform::MonitorPlatform platform = linux_platform::installMonitorPlatform({sysfs.root(), folder.root()});
    std::string socketPath = folder.path("helper.sock");
    testing::ServedFakeHelper served{socketPath};
    linux_platform::SocketHelperConnector connector{socketPath};
    XPCManager xpc{{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()}};
    testing::FakeHelper& daemon = served.helper;
    std::optional<FanManager> fans;
};

TEST_F(FanManagerTest, AMachineWithoutFansStillPublishesTheTemperature) {
    sysfs.addHwmon("hwmon0", "cpu_thermal", "");
    setCelsius(45);
    auto& fan = make();
    EXPECT_FALSE(fan.hasFans.get());
    setCelsius(61);
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.cpuTemperature.get(), 61.0f);
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
}

// hwmon files hold whatever the driver or the firmware wrote.
TEST_F(FanManagerTest, LimitsAreMendedAndImplausibleReadingsKeepTheDefaults) {
    sysfs.addAppleSMC();
    set("fan1_min", "-300");
    set("fan1_max", "50");
    set("fan1_output", "fast");
    auto& fan = make();
    EXPECT_EQ(fan.minRPM.get(), 0);
    EXPECT_EQ(fan.maxRPM.get(), 100);  // never within 100 RPM of the minimum
    EXPECT_EQ(fan.targetRPM.get(), 0);

    fans.reset();
    set("fan1_min", "1200");
    set("fan1_max", "1250");
    set("fan1_output", "9223372036854775807");  // 2^63 once a float: beyond 64 bits
    auto& again = make();
    EXPECT_EQ(again.maxRPM.get(), 1300);
    EXPECT_EQ(again.targetRPM.get(), 0);
}

TEST_F(FanManagerTest, TheSafetyFloorFiresAboveEightyFiveDegreesOnly) {
    sysfs.addAppleSMC();
    set("fan1_manual", "1");
    set("fan1_output", "2000");
    setCelsius(85);
    auto& fan = make();
    ASSERT_TRUE(fan.isManualMode.get());
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.safetyWarning.get(), std::nullopt);
    EXPECT_THAT(daemon.commands(), IsEmpty());

    setCelsius(86);
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.safetyWarning.get(), "Temperature is high. Setting higher fan speed for safety.");
    ASSERT_TRUE(settle([&] { return fan.targetRPM.get() == 2500; }));
    EXPECT_THAT(daemon.commands(), ElementsAre("fanRPM 0 2500"));

    // Hot but no longer below the floor: the warning goes, nothing is sent.
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.safetyWarning.get(), std::nullopt);
    EXPECT_EQ(daemon.commands().size(), 1u);
}

TEST_F(FanManagerTest, RequestedSpeedsAreSafetyRaisedThenClampedToTheLimits) {
    sysfs.addAppleSMC();
    setCelsius(90);
    auto& fan = make();
    awaitOn(loop, [&] { return fan.setTargetRPM(1000); });
    EXPECT_EQ(fan.targetRPM.get(), 2500);

    setCelsius(50);
    loop.advanceBy(seconds(15));
    awaitOn(loop, [&] { return fan.setTargetRPM(1000); });
    awaitOn(loop, [&] { return fan.setTargetRPM(9000); });
    EXPECT_THAT(daemon.commands(), ElementsAre("fanRPM 0 2500", "fanRPM 0 1200", "fanRPM 0 6000"));
    EXPECT_EQ(fan.targetRPM.get(), 6000);

    daemon.fail("fanRPM 0 3000", "Failed to set fan 0 target RPM: writeFailed");
    awaitOn(loop, [&] { return fan.setTargetRPM(3000); });
    EXPECT_EQ(fan.targetRPM.get(), 6000);
    EXPECT_EQ(fan.lastReadError.get(), "Failed to set fan 0 target RPM: writeFailed");
}

TEST_F(FanManagerTest, ReadFailuresSlowPollingFromTheFourthAndASuccessRestoresIt) {
    sysfs.addAppleSMC();
    auto& fan = make();
    sysfs.remove("class/hwmon/hwmon0/fan1_input");
    loop.advanceBy(seconds(60));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    // Speed-read failures never stop polling.
    loop.advanceBy(seconds(210));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    EXPECT_EQ(fan.lastReadError.get(), "SMC read error: the value could not be read");

    set("fan1_input", "1900");
    loop.advanceBy(seconds(10));
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
    EXPECT_EQ(fan.currentRPM.get(), 1900);
    EXPECT_EQ(fan.pollingInterval(), 15.0);
}

// A machine without hwmon devices, as many virtual machines are: the error
// shows and polling starts, slows from the fourth failure and stops at the
// eleventh; the popover restarts it. (A connection once open stays open: the
// hwmon driver never drops it.)
TEST_F(FanManagerTest, ConnectionFailuresSlowThenStopPollingUntilThePopoverRestartsIt) {
    auto& fan = make();
    EXPECT_FALSE(fan.isSmcConnected.get());
    EXPECT_EQ(fan.lastReadError.get(), "Could not connect to SMC");
    EXPECT_EQ(fan.pollingInterval(), 15.0);
    loop.advanceBy(seconds(60));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    EXPECT_EQ(fan.lastReadError.get(), "Lost connection to SMC");
    loop.advanceBy(seconds(70));
    EXPECT_EQ(fan.pollingInterval(), std::nullopt);
    sysfs.addAppleSMC();
    loop.advanceBy(seconds(600));
    EXPECT_FALSE(fan.isSmcConnected.get()) << "a poll ran after polling stopped";

    // The count is still high, so at 10 s.
    fan.isViewVisible = true;
    fan.startPolling();
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    loop.advanceBy(seconds(10));
    EXPECT_TRUE(fan.isSmcConnected.get());
    EXPECT_EQ(fan.pollingInterval(), 3.0);
}

TEST_F(FanManagerTest, ARefusedManualSwitchKeepsItsErrorUntilAFanCommandSucceeds) {
    sysfs.addAppleSMC();
    auto& fan = make();
    daemon.fail("fanMode 0 manual", "Failed to set fan 0 mode: writeFailed");
    awaitOn(loop, [&] { return fan.toggleManualMode(true); });
    EXPECT_FALSE(fan.isManualMode.get());
    EXPECT_EQ(fan.lastReadError.get(), "Failed to set fan 0 mode: writeFailed");

    // A poll with no failed poll before it leaves the daemon's error alone.
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.lastReadError.get(), "Failed to set fan 0 mode: writeFailed");

    // Accepted: the slider starts at the speed the fan turns at right now,
    // not at the one the last poll saw (that no target goes out is the
    // popover's test).
    daemon.clearFailures();
    set("fan1_input", "2100");
    awaitOn(loop, [&] { return fan.toggleManualMode(true); });
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
    EXPECT_EQ(fan.targetRPM.get(), 2100);

    // In manual mode a poll keeps the target the user set.
    set("fan1_output", "1500");
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.targetRPM.get(), 2100);
}

TEST_F(FanManagerTest, ASafetyRaiseStillWaitingWhenTheManagerEndsIsDropped) {
    sysfs.addAppleSMC();
    set("fan1_manual", "1");
    set("fan1_output", "1000");
    setCelsius(95);
    make();
    loop.advanceBy(seconds(15));
    fans.reset();
    // The reply arrives for a manager that is gone; nothing may touch it.
    EXPECT_TRUE(settle([&] { return daemon.commands().size() == 1; }));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace korvane::app
