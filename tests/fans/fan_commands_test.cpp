// The helper's two fan commands over the simulated SMC, and the return of
// manual fans to automatic when the helper stops.
#include <gtest/gtest.h>

#include "helper/fan_restore.h"
#include "helper/helper_tool.h"
#include "shared/log/log.h"
#include "shared/mainloop/virtual_main_loop.h"
#include "shared/smc/simulated_smc_driver.h"
#include "shared/smc/smc_bridge.h"

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The fan commands never start a process.
class NoProcesses final : public ProcessRunner {
public:
    Expected<ProcessResult, LaunchError> run(const std::string&, const std::vector<std::string>&,
                                             OutputCapture) override {
        return unexpected(LaunchError{"not expected in fan tests"});
    }
};

struct RecordedReply {
    bool success = false;
    std::optional<std::string> message;
};

class Replies {
public:
    ReplyBlock block() {
        return [this](bool success, std::optional<std::string> message) {
            received.push_back({success, std::move(message)});
        };
    }
    std::vector<RecordedReply> received;
};

struct HelperUnderTest {
    log::CapturedLines log;
    VirtualMainLoop loop;
    NoProcesses runner;
    std::unique_ptr<helper::HelperTool> tool = std::make_unique<helper::HelperTool>(helper::HelperToolDependencies{
        .mainLoop = loop,
        .runner = runner,
        .taskPolicyPath = "taskpolicy",
        .scanner = nullptr,
        .processExists = [](std::int32_t) { return false; },
    });
};

class FanCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        smc->setKey("F1Md", "ui8 ", {0});
        SMCBridge::setDriver(smc);
    }
    void TearDown() override {
        helper::manualFanRegistry().restoreAutomatic();
        SMCBridge::setDriver(nullptr);
    }

    RecordedReply onlyReply() {
        EXPECT_EQ(replies.received.size(), 1u);
        return replies.received.empty() ? RecordedReply{false, "no reply"} : replies.received.front();
    }

    std::shared_ptr<SimulatedSMCDriver> smc = SimulatedSMCDriver::withOneFan();
    HelperUnderTest helper;
    Replies replies;
};

TEST_F(FanCommandsTest, ModeWritesOneOrZeroToTheFansModeKey) {
    helper.tool->setFanControlMode(1, true, replies.block());
    EXPECT_TRUE(onlyReply().success);
    EXPECT_FALSE(onlyReply().message.has_value());
    EXPECT_EQ(smc->bytesOf("F1Md"), Bytes{1});
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Fan 1 mode set to Manual"));

    helper.tool->setFanControlMode(1, false, replies.block());
    EXPECT_EQ(smc->bytesOf("F1Md"), Bytes{0});
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Fan 1 mode set to Auto"));
}

TEST_F(FanCommandsTest, TargetIsEncodedByTheKeysOwnTypeAndNothingElseIsWritten) {
    helper.tool->setFanTargetRPM(0, 2500, replies.block());
    EXPECT_TRUE(onlyReply().success);
    EXPECT_EQ(smc->bytesOf("F0Tg"), (Bytes{0x27, 0x10}));  // fpe2: 2500 * 4
    EXPECT_EQ(smc->bytesOf("F0Md"), Bytes{0});              // a speed does not switch the mode
    EXPECT_EQ(smc->writes().size(), 1u);
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Fan 0 target RPM set to 2500"));
}

TEST_F(FanCommandsTest, WithoutAnSMCBothCommandsSayTheConnectionFailed) {
    smc->setService("AppleSMC", SimulatedSMCDriver::ServiceBehaviour::absent);
    helper.tool->setFanControlMode(0, true, replies.block());
    helper.tool->setFanTargetRPM(0, 2000, replies.block());
    ASSERT_EQ(replies.received.size(), 2u);
    EXPECT_EQ(replies.received[0].message, "SMC connection failed — cannot set fan mode");
    EXPECT_EQ(replies.received[1].message, "SMC connection failed — cannot set fan RPM");
    EXPECT_FALSE(replies.received[0].success || replies.received[1].success);
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: SMC connection failed — cannot set fan mode"));
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: SMC connection failed — cannot set fan RPM"));
    EXPECT_TRUE(helper::manualFanRegistry().manualFans().empty());
}

TEST_F(FanCommandsTest, FailuresNameTheBridgeErrorCase) {
    helper.tool->setFanControlMode(7, true, replies.block());
    helper.tool->setFanControlMode(-1, true, replies.block());   // "F-1M"
    helper.tool->setFanTargetRPM(0, -40, replies.block());       // fpe2 cannot hold it
    helper.tool->setFanTargetRPM(0, 20000, replies.block());     // nor 80000 after scaling
    ASSERT_EQ(replies.received.size(), 4u);
    EXPECT_EQ(replies.received[0].message, "Failed to set fan 7 mode: keyNotFound");
    EXPECT_EQ(replies.received[1].message, "Failed to set fan -1 mode: keyNotFound");
    EXPECT_EQ(replies.received[2].message, "Failed to set fan 0 RPM: writeFailed");
    EXPECT_EQ(replies.received[3].message, "Failed to set fan 0 RPM: writeFailed");
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Failed to set fan 7 mode: keyNotFound"));
    EXPECT_TRUE(smc->writes().empty());
    EXPECT_TRUE(helper::manualFanRegistry().manualFans().empty());
}

TEST_F(FanCommandsTest, ATwoDigitFanIndexReachesTheShortenedKey) {
    smc->setKey("F12M", "ui8 ", {0});
    helper.tool->setFanControlMode(12, true, replies.block());
    EXPECT_TRUE(onlyReply().success);
    EXPECT_EQ(smc->bytesOf("F12M"), Bytes{1});
}

TEST_F(FanCommandsTest, StoppingReturnsExactlyTheFansStillInManual) {
    smc->setKey("F2Md", "ui8 ", {0});
    helper.tool->setFanControlMode(0, true, replies.block());
    helper.tool->setFanControlMode(1, true, replies.block());
    helper.tool->setFanControlMode(2, true, replies.block());
    helper.tool->setFanControlMode(1, false, replies.block());  // the user already gave it back
    smc->setResult("F2Md", smc_command::kWriteKey, smc_result::kError);
    auto writesBefore = smc->writes().size();

    helper::manualFanRegistry().restoreAutomatic();
    auto writes = smc->writes();
    ASSERT_EQ(writes.size(), writesBefore + 2);
    EXPECT_EQ(writes[writesBefore].first, "F0Md");
    EXPECT_EQ(writes[writesBefore + 1].first, "F2Md");
    EXPECT_EQ(smc->bytesOf("F0Md"), Bytes{0});
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Fan 0 mode restored to Auto"));
    EXPECT_TRUE(helper.log.contains("KorvaneHelper: Failed to restore fan 2 mode to Auto: writeFailed"));

    // Nothing is left to restore a second time.
    helper::manualFanRegistry().restoreAutomatic();
    EXPECT_EQ(smc->writes().size(), writesBefore + 2);
}

}  // namespace
}  // namespace korvane
