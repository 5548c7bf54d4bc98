// The fan manager on the virtual clock, reading a simulated SMC through the
// bridge and changing the fan through an in-process daemon on a real socket.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "app/client/xpc_manager.h"
#include "app/monitors/fan_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "testing/simulated_smc_driver.h"
#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::awaitOn;

void setFloat(SimulatedSMCDriver& smc, const std::string& key, float value) {
    smc.setKey(key, "flt ", smc_codec::floatBytes(value));
}
void setCelsius(SimulatedSMCDriver& smc, int degrees) {
    smc.setKey("TC0P", "sp78", {static_cast<std::uint8_t>(degrees), 0});
}

class FanManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(served.listening);
        ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
        SMCBridge::setDriver(smc);
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

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    testing::ServedFakeHelper served{socketPath};
    linux_platform::SocketHelperConnector connector{socketPath};
    XPCManager xpc{{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()}};
    testing::FakeHelper& daemon = served.helper;
    std::shared_ptr<SimulatedSMCDriver> smc = SimulatedSMCDriver::withOneFan();
    std::optional<FanManager> fans;
};

TEST_F(FanManagerTest, AMachineWithoutFansStillPublishesTheTemperature) {
    for (const char* key : {"FNum", "F0Ac", "F0Tg", "F0Mn", "F0Mx", "F0Md"}) smc->removeKey(key);
    auto& fan = make();
    EXPECT_FALSE(fan.hasFans.get());
    setCelsius(*smc, 61);
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.cpuTemperature.get(), 61.0f);
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
}

TEST_F(FanManagerTest, LimitsAreMendedAndImplausibleReadingsKeepTheDefaults) {
    setFloat(*smc, "F0Mn", -300.0f);
    setFloat(*smc, "F0Mx", 50.0f);
    setFloat(*smc, "F0Tg", std::numeric_limits<float>::infinity());
    smc->removeKey("TC0P");
    auto& fan = make();
    EXPECT_EQ(fan.minRPM.get(), 0);
    EXPECT_EQ(fan.maxRPM.get(), 100);  // never within 100 RPM of the minimum
    EXPECT_EQ(fan.targetRPM.get(), 0);

    fans.reset();
    setFloat(*smc, "F0Mn", 1200.0f);
    setFloat(*smc, "F0Mx", 1250.0f);
    setFloat(*smc, "F0Md", std::numeric_limits<float>::quiet_NaN());
    setFloat(*smc, "F0Tg", 3.0e19f);  // beyond 64 bits
    auto& again = make();
    EXPECT_EQ(again.maxRPM.get(), 1300);
    EXPECT_FALSE(again.isManualMode.get());
    EXPECT_EQ(again.targetRPM.get(), 0);

    // While polling, a reading that is no number is a failed read.
    setFloat(*smc, "F0Ac", std::numeric_limits<float>::quiet_NaN());
    loop.advanceBy(seconds(15));
    EXPECT_EQ(again.lastReadError.get(), "SMC read error: the value could not be read");
}

TEST_F(FanManagerTest, TheSafetyFloorFiresAboveEightyFiveDegreesOnly) {
    smc->setKey("F0Md", "ui8 ", {1});
    setFloat(*smc, "F0Tg", 2000.0f);
    setCelsius(*smc, 85);
    auto& fan = make();
    ASSERT_TRUE(fan.isManualMode.get());
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.safetyWarning.get(), std::nullopt);
    EXPECT_THAT(daemon.commands(), IsEmpty());

    setCelsius(*smc, 86);
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
    setCelsius(*smc, 90);
    auto& fan = make();
    awaitOn(loop, [&] { return fan.setTargetRPM(1000); });
    EXPECT_EQ(fan.targetRPM.get(), 2500);

    setCelsius(*smc, 50);
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
    auto& fan = make();
    smc->removeKey("F0Ac");
    loop.advanceBy(seconds(60));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    // Speed-read failures never stop polling.
    loop.advanceBy(seconds(210));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    EXPECT_EQ(fan.lastReadError.get(), "SMC read error: the SMC has no such value");

    setFloat(*smc, "F0Ac", 1900.0f);
    loop.advanceBy(seconds(10));
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
    EXPECT_EQ(fan.currentRPM.get(), 1900);
    EXPECT_EQ(fan.pollingInterval(), 15.0);
}

// Without an SMC at launch the error shows and polling still starts; once
// connected, the eleventh failure in a row to reach it stops polling.
TEST_F(FanManagerTest, ConnectionFailuresAtLaunchAndLaterOnes) {
    smc->setService("AppleSMC", SimulatedSMCDriver::ServiceBehaviour::absent);
    auto& fan = make();
    EXPECT_FALSE(fan.isSmcConnected.get());
    EXPECT_EQ(fan.lastReadError.get(), "Could not connect to SMC");
    EXPECT_EQ(fan.pollingInterval(), 15.0);
    smc->setService("AppleSMC", SimulatedSMCDriver::ServiceBehaviour::opens);
    loop.advanceBy(seconds(15));
    EXPECT_TRUE(fan.isSmcConnected.get());

    SMCBridge::setDriver(nullptr);  // the SMC is gone
    loop.advanceBy(seconds(60));
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    EXPECT_EQ(fan.lastReadError.get(), "Lost connection to SMC");
    loop.advanceBy(seconds(70));
    EXPECT_EQ(fan.pollingInterval(), std::nullopt);
    SMCBridge::setDriver(smc);
    loop.advanceBy(seconds(600));
    EXPECT_FALSE(fan.isSmcConnected.get()) << "a poll ran after polling stopped";

    // The popover restarts it; the count is still high, so at 10 s.
    fan.isViewVisible = true;
    fan.startPolling();
    EXPECT_EQ(fan.pollingInterval(), 10.0);
    loop.advanceBy(seconds(10));
    EXPECT_TRUE(fan.isSmcConnected.get());
    EXPECT_EQ(fan.pollingInterval(), 3.0);
}

TEST_F(FanManagerTest, ARefusedManualSwitchKeepsItsErrorUntilAFanCommandSucceeds) {
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
    setFloat(*smc, "F0Ac", 2100.0f);
    awaitOn(loop, [&] { return fan.toggleManualMode(true); });
    EXPECT_EQ(fan.lastReadError.get(), std::nullopt);
    EXPECT_EQ(fan.targetRPM.get(), 2100);

    // In manual mode a poll keeps the target the user set.
    setFloat(*smc, "F0Tg", 1500.0f);
    loop.advanceBy(seconds(15));
    EXPECT_EQ(fan.targetRPM.get(), 2100);
}

TEST_F(FanManagerTest, ASafetyRaiseStillWaitingWhenTheManagerEndsIsDropped) {
    smc->setKey("F0Md", "ui8 ", {1});
    setFloat(*smc, "F0Tg", 1000.0f);
    setCelsius(*smc, 95);
    make();
    loop.advanceBy(seconds(15));
    fans.reset();
    // The reply arrives for a manager that is gone; nothing may touch it.
    EXPECT_TRUE(settle([&] { return daemon.commands().size() == 1; }));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace korvane::app
