// The helper's two fan commands over the simulated SMC, and the return of
// manual fans to automatic when the helper stops.
#include <gtest/gtest.h>

#include "helper/fan_restore.h"
#include "testing/simulated_smc_driver.h"
#include "shared/smc/smc_bridge.h"
#include "tests/fakes/helper_tool_fixture.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FanCommandsTest : public ::testing::Test, public testing::HelperToolFixture {
protected:
    void SetUp() override {
        smc->setKey("F1Md", "ui8 ", {0});
        SMCBridge::setDriver(smc);
    }
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

    std::shared_ptr<SimulatedSMCDriver> smc = SimulatedSMCDriver::withOneFan();
};

TEST_F(FanCommandsTest, FailuresNameTheCaseAndWriteNothing) {
    smc->setService("AppleSMC", SimulatedSMCDriver::ServiceBehaviour::absent);
    EXPECT_EQ(mode(0, true), "SMC connection failed — cannot set fan mode");
    EXPECT_EQ(rpm(0, 2000), "SMC connection failed — cannot set fan RPM");

    smc->setService("AppleSMC", SimulatedSMCDriver::ServiceBehaviour::opens);
    EXPECT_EQ(mode(7, true), "Failed to set fan 7 mode: keyNotFound");
    EXPECT_EQ(rpm(0, -40), "Failed to set fan 0 RPM: writeFailed");  // fpe2 cannot hold it
    EXPECT_TRUE(smc->writes().empty());

    EXPECT_TRUE(helper::manualFanRegistry().manualFans().empty());
}

TEST_F(FanCommandsTest, StoppingReturnsExactlyTheFansStillInManualOnce) {
    smc->setKey("F2Md", "ui8 ", {0});
    mode(0, true);
    mode(1, true);
    mode(2, true);
    mode(1, false);  // the user already gave it back
    smc->setResult("F2Md", smc_command::kWriteKey, smc_result::kError);
    auto before = smc->writes().size();

    helper::manualFanRegistry().restoreAutomatic();
    helper::manualFanRegistry().restoreAutomatic();
    auto writes = smc->writes();
    ASSERT_EQ(writes.size(), before + 2);
    EXPECT_EQ(writes[before].first, "F0Md");
    EXPECT_EQ(writes[before + 1].first, "F2Md");
    EXPECT_EQ(smc->bytesOf("F0Md"), Bytes{0});
    EXPECT_TRUE(log.contains("KorvaneHelper: Failed to restore fan 2 mode to Auto: writeFailed"));
}

}  // namespace
}  // namespace korvane
