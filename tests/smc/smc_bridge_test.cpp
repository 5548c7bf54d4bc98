// The bridge over the simulated SMC: opening, key information, reads, writes,
// the temperature search and the lock.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <thread>

#include "shared/log/log.h"
#include "shared/smc/simulated_smc_driver.h"
#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {
namespace {

using Behaviour = SimulatedSMCDriver::ServiceBehaviour;
using Bytes = std::vector<std::uint8_t>;

class SMCBridgeTest : public ::testing::Test {
protected:
    void SetUp() override { SMCBridge::setDriver(smc); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }

    std::shared_ptr<SimulatedSMCDriver> smc = std::make_shared<SimulatedSMCDriver>();
    log::CapturedLines logged;
};

TEST_F(SMCBridgeTest, OpensTheFallbackServiceOnceAndLogsItsName) {
    smc->setService("AppleSMCKeysEndpoint", Behaviour::absent);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_TRUE(SMCBridge::open());
    smc->setKey("FNum", "ui8 ", {2});
    EXPECT_FLOAT_EQ(SMCBridge::readValue("FNum").value(), 2.0f);
    EXPECT_EQ(smc->openCount(), 1);
    EXPECT_EQ(logged.lines(), std::vector<std::string>{"SMCBridge: Bağlantı açıldı — AppleSMC"});
}

TEST_F(SMCBridgeTest, PrefersTheKeysEndpointAndFallsBackWhenItRefuses) {
    smc->setService("AppleSMCKeysEndpoint", Behaviour::opens);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_TRUE(logged.contains("SMCBridge: Bağlantı açıldı — AppleSMCKeysEndpoint"));

    SMCBridge::close();
    EXPECT_EQ(smc->closeCount(), 1);
    logged.clear();
    smc->setService("AppleSMCKeysEndpoint", Behaviour::refusesOpen);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_EQ(logged.lines(), std::vector<std::string>{"SMCBridge: Bağlantı açıldı — AppleSMC"});
}

TEST_F(SMCBridgeTest, WithoutAnyServiceEverythingFailsQuietlyAndRetriesLater) {
    smc->setService("AppleSMC", Behaviour::refusesOpen);
    smc->setKey("TC0P", "sp78", {50, 0});
    EXPECT_FALSE(SMCBridge::open());
    EXPECT_EQ(SMCBridge::readValue("TC0P").error(), SMCError::connectionFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::connectionFailed);
    EXPECT_EQ(SMCBridge::readCPUTemperature(), 0.0f);
    EXPECT_TRUE(logged.lines().empty());

    smc->setService("AppleSMC", Behaviour::opens);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 50.0f);
}

TEST_F(SMCBridgeTest, NoDriverInstalledIsAConnectionFailure) {
    SMCBridge::setDriver(nullptr);
    EXPECT_FALSE(SMCBridge::open());
    EXPECT_EQ(SMCBridge::readValue("FNum").error(), SMCError::connectionFailed);
}

TEST_F(SMCBridgeTest, ReplacingTheDriverClosesTheOpenConnection) {
    ASSERT_TRUE(SMCBridge::open());
    auto next = std::make_shared<SimulatedSMCDriver>();
    SMCBridge::setDriver(next);
    EXPECT_EQ(smc->closeCount(), 1);
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_EQ(next->openCount(), 1);
}

TEST_F(SMCBridgeTest, ReportedSizesOutside1To32AreKeyNotFound) {
    smc->setKey("F0Ac", "fpe2", {0x1F, 0x40});
    for (std::uint32_t size : {0u, 33u}) {
        smc->setReportedSize("F0Ac", size);
        EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::keyNotFound) << size;
        EXPECT_EQ(SMCBridge::writeValue("F0Ac", 100.0f).error(), SMCError::keyNotFound) << size;
    }
    smc->setReportedSize("F0Ac", 32);
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Ac").value(), 2000.0f);
}

TEST_F(SMCBridgeTest, FailuresMapToTheStepThatFailed) {
    smc->setKey("F0Ac", "fpe2", {0x1F, 0x40});
    EXPECT_EQ(SMCBridge::readValue("F9Ac").error(), SMCError::keyNotFound);

    smc->setResult("F0Ac", smc_command::kReadKey, smc_result::kError);
    EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::readFailed);

    smc->setResult("F0Ac", smc_command::kGetKeyInfo, smc_result::kError);
    EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::keyNotFound);

    smc->setKey("F0Tg", "fpe2", {0, 0});
    smc->setFailingCommands({smc_command::kWriteKey});
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
    smc->setFailingCommands({smc_command::kReadKey});
    EXPECT_EQ(SMCBridge::readValue("F0Tg").error(), SMCError::readFailed);
    smc->setFailingCommands({smc_command::kGetKeyInfo});
    EXPECT_EQ(SMCBridge::readValue("F0Tg").error(), SMCError::keyNotFound);
}

TEST_F(SMCBridgeTest, RequestsCarryOnlyTheirOwnFields) {
    smc->setKey("F0Tg", "fpe2", {0, 0});
    ASSERT_TRUE(SMCBridge::writeValue("F0Tg", 2000.0f).has_value());
    auto requests = smc->requests();
    ASSERT_EQ(requests.size(), 2u);

    SMCParamStruct info;
    info.key = SMCBridge::stringToFourCC("F0Tg");
    info.command = smc_command::kGetKeyInfo;
    EXPECT_EQ(std::memcmp(&requests[0], &info, sizeof info), 0);

    SMCParamStruct write = info;
    write.command = smc_command::kWriteKey;
    write.dataSize = 2;
    write.bytes[0] = 0x1F;
    write.bytes[1] = 0x40;
    EXPECT_EQ(std::memcmp(&requests[1], &write, sizeof write), 0);
    EXPECT_EQ(smc->bytesOf("F0Tg"), (Bytes{0x1F, 0x40}));
}

TEST_F(SMCBridgeTest, ATwoDigitFanKeyIsSentShortened) {
    smc->setKey("F12M", "ui8 ", {0});
    ASSERT_TRUE(SMCBridge::writeValue("F12Md", 1.0f).has_value());
    EXPECT_EQ(smc->writes().back().first, "F12M");
    EXPECT_EQ(smc->bytesOf("F12M"), Bytes{1});
}

TEST_F(SMCBridgeTest, UnwritableTypesAndOutOfRangeValuesWriteNothing) {
    smc->setKey("F0Md", "ui8 ", {0});
    smc->setKey("TC0P", "sp78", {40, 0});
    EXPECT_EQ(SMCBridge::writeValue("TC0P", 20.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 300.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", -1.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", std::numeric_limits<float>::quiet_NaN()).error(),
              SMCError::writeFailed);
    EXPECT_TRUE(smc->writes().empty());
    EXPECT_EQ(smc->bytesOf("F0Md"), Bytes{0});
}

TEST_F(SMCBridgeTest, TemperatureSkipsImplausibleKeysInOrder) {
    smc->setKey("Tp09", "sp78", {0, 0});                                 // 0
    smc->setKey("Tp05", "sp78", {0xFF, 0x00});                           // -1
    smc->setKey("Tp01", "flt ", smc_codec::floatBytes(120.0f));          // 120 is excluded
    smc->setKey("Tp0D", "flt ", smc_codec::floatBytes(std::numeric_limits<float>::quiet_NaN()));
    smc->setKey("Tp0P", "flt ", {0x00});                                 // too short
    smc->setKey("TCHP", "ioft", {0x2D, 0x80});                           // read as sp78
    smc->setKey("TC0P", "sp78", {0x30, 0x00});
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 45.5f);

    smc->setKey("TCHP", "sp78", {0x78, 0x00});                           // 120 again
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 48.0f);
    smc->removeKey("TC0P");
    EXPECT_EQ(SMCBridge::readCPUTemperature(), 0.0f);
}

TEST_F(SMCBridgeTest, ExchangesFromManyThreadsNeverOverlap) {
    smc = SimulatedSMCDriver::withOneFan();
    SMCBridge::setDriver(smc);
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
