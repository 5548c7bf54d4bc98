// The bridge over the simulated SMC: key information, reads, writes, the
// temperature search and the lock. Opening, and the fallback to "AppleSMC",
// are the Linux driver's tests; retrying a missing SMC is the fan manager's.
#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "testing/simulated_smc_driver.h"
#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {
namespace {

class SMCBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { SMCBridge::setDriver(smc); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }

    std::shared_ptr<SimulatedSMCDriver> smc = SimulatedSMCDriver::withOneFan();
};

TEST_F(SMCBridgeTest, FailuresMapToTheStepThatFailed) {
    // What the key's type cannot hold is refused before anything is written.
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 300.0f).error(), SMCError::writeFailed);
    EXPECT_TRUE(smc->writes().empty());
    // A size the record's 32 bytes cannot hold is no key to read.
    for (std::uint32_t size : {0u, 33u}) {
        smc->setReportedSize("F0Ac", size);
        EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::keyNotFound) << size;
    }
    smc->setResult("F0Mn", smc_command::kReadKey, smc_result::kError);
    EXPECT_EQ(SMCBridge::readValue("F0Mn").error(), SMCError::readFailed);
    smc->setFailingCommands({smc_command::kReadKey, smc_command::kWriteKey});
    EXPECT_EQ(SMCBridge::readValue("F0Tg").error(), SMCError::readFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
}

TEST_F(SMCBridgeTest, TemperatureSkipsImplausibleKeysInOrder) {
    smc->setKey("Tp09", "flt ", smc_codec::floatBytes(0.0f));
    smc->setKey("Tp05", "flt ", smc_codec::floatBytes(-1.0f));
    smc->setKey("Tp01", "flt ", smc_codec::floatBytes(120.0f));  // the bound is excluded
    smc->setKey("Tp0D", "flt ", smc_codec::floatBytes(std::numeric_limits<float>::quiet_NaN()));
    smc->setKey("Tp0P", "flt ", {0x00});                      // too short
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 45.0f);  // TC0P, last but one
    smc->removeKey("TC0P");
    EXPECT_EQ(SMCBridge::readCPUTemperature(), 0.0f);
}

TEST_F(SMCBridgeTest, ExchangesFromManyThreadsNeverOverlap) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                if (t % 2) {
                    (void)SMCBridge::readValue("F0Ac");
                } else {
                    (void)SMCBridge::writeValue("F0Tg", 2000.0f + static_cast<float>(i));
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(smc->maxConcurrentExchanges(), 1);
    EXPECT_EQ(smc->openCount(), 1);
}

}  // namespace
}  // namespace korvane
