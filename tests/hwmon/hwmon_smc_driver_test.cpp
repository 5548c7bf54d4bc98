// hwmon devices as SMC keys, through the bridge the way both programs use
// them: which devices become which keys, what the bridge makes of files that
// are missing or lie, switching fans and setting their speed on each kind of
// chip (pwm-only Super I/O, applesmc, macsmc, and a fan we may not touch), and
// the bridge's lock.
#include "platform/linux/hwmon/hwmon_smc_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <thread>

#include "platform/linux/hwmon/fan_channel.h"
#include "shared/log/log.h"
#include "shared/smc/smc_bridge.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

using linux_platform::HwmonSMCDriver;
using linux_platform::pwmForSpeed;
using linux_platform::speedForPwm;

class HwmonSMCDriverTest : public ::testing::Test {
protected:
    void use(const testing::HwmonTree& tree) { SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(tree.root())); }
    void TearDown() override { SMCBridge::setDriver(nullptr); }
    static float read(std::string_view key) { return SMCBridge::readValue(key).value(); }

    testing::HwmonTree sysfs;
    log::CapturedLines logged;
};

TEST_F(HwmonSMCDriverTest, OnlyAppleSMCOpensAndOnlyWithAFanOrACpuSensor) {
    use(sysfs);
    EXPECT_FALSE(SMCBridge::open());  // no class/hwmon at all
    sysfs.addHwmon("hwmon0", "nvme", "pci0000:00/0000:01:00.0/nvme/nvme0");
    sysfs.set("hwmon0/temp1_input", "41000");
    EXPECT_FALSE(SMCBridge::open());  // a disk's sensor is no CPU temperature

    sysfs.addHwmon("hwmon1", "cpu_thermal", "");
    sysfs.set("hwmon1/temp1_input", "44500");
    EXPECT_TRUE(SMCBridge::open());
    EXPECT_FLOAT_EQ(read("FNum"), 0.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 44.5f);
}

TEST_F(HwmonSMCDriverTest, DesktopWithCoretempAndAPwmOnlyFan) {
    sysfs.addDesktopWithNct6775(5);
    use(sysfs);
    EXPECT_FLOAT_EQ(read("FNum"), 1.0f);
    EXPECT_FLOAT_EQ(read("F0Ac"), 1100.0f);
    EXPECT_FLOAT_EQ(read("F0Mn"), 300.0f);
    EXPECT_EQ(SMCBridge::readValue("F0Mx").error(), SMCError::keyNotFound);
    EXPECT_FLOAT_EQ(read("F0Md"), 0.0f);  // enable 5 is the chip's own curve
    EXPECT_NEAR(read("F0Tg"), 300.0f + 120.0f * 5700.0f / 255.0f, 0.01f);
    EXPECT_EQ(SMCBridge::readValue("F1Ac").error(), SMCError::keyNotFound);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 52.0f);  // the package, not the hottest core

    sysfs.remove("class/hwmon/hwmon4/fan1_input");
    EXPECT_EQ(SMCBridge::readValue("F0Ac").error(), SMCError::readFailed);
    sysfs.set("hwmon4/fan1_min", "n/a");
    EXPECT_EQ(SMCBridge::readValue("F0Mn").error(), SMCError::readFailed);
}

// Fan n is the n-th of the machine's own fans: a graphics card's never, the
// laptop's or the board's chip first, anything else only when nothing better
// exists; hwmonN numbers play no part. (An amdgpu card whose PCI path sorts
// before the board's chip is the fan end-to-end test's, through the helper.)
TEST_F(HwmonSMCDriverTest, FanZeroIsTheBestRankedSystemFan) {
    struct Chip {
        const char* hwmon;
        const char* name;
        std::string device;
        std::vector<int> rpms;
    };
    const std::string gpu = "pci0000:00/0000:00:01.1/0000:03:00.0";
    const std::string nvidia = "pci0000:00/0000:00:01.0/0000:01:00.0";
    const std::string acpiFan = "LNXSYSTM:00/LNXSYBUS:00/PNP0C0B:00";
    // The name, the chips, the graphics slot's PCI class if it has one, fan n's speed.
    const std::tuple<const char*, std::vector<Chip>, const char*, std::vector<float>> machines[] = {
        {"a ThinkPad beside an ACPI fan device",
         {{"hwmon0", "acpi_fan", acpiFan, {4000}}, {"hwmon5", "thinkpad", "platform/thinkpad_hwmon", {2900, 3100}}},
         nullptr,
         {2900, 3100}},
        {"a Dell laptop with an NVIDIA card on nouveau",
         {{"hwmon1", "nouveau", nvidia, {1800}}, {"hwmon3", "dell_smm", "platform/dell_smm_hwmon", {2400, 2600}}},
         nullptr,
         {2400, 2600}},
        {"a graphics card alone",
         {{"hwmon0", "amdgpu", gpu, {1500}}, {"hwmon1", "k10temp", "pci0000:00/0000:00:18.3", {}}},
         nullptr,
         {}},
        {"a fan of no known kind when nothing better exists, but no display controller's",
         {{"hwmon0", "gpu_board", gpu, {1500}}, {"hwmon1", "pwmfan", "platform/pwm-fan", {3000}}},
         "0x030000",
         {3000}},
    };
    for (const auto& [name, chips, gpuClass, fans] : machines) {
        SCOPED_TRACE(name);
        testing::HwmonTree tree;
        for (const Chip& chip : chips) {
            tree.addHwmon(chip.hwmon, chip.name, chip.device);
            tree.set(std::string(chip.hwmon) + "/temp1_input",
                     "50000");  // opens even without a fan
            for (std::size_t n = 1; n <= chip.rpms.size(); ++n) {
                std::string fan = std::string(chip.hwmon) + "/fan" + std::to_string(n);
                std::string pwm = std::string(chip.hwmon) + "/pwm" + std::to_string(n);
                tree.set(fan + "_input", std::to_string(chip.rpms[n - 1]));
                tree.set(pwm, "128");
                tree.set(pwm + "_enable", "2");
            }
        }
        if (gpuClass) tree.write("devices/" + gpu + "/class", std::string(gpuClass) + "\n");
        use(tree);
        auto valueOf = [](const std::string& key) {
            auto value = SMCBridge::readValue(key);
            return value ? *value : -1.0f;
        };
        EXPECT_FLOAT_EQ(valueOf("FNum"), static_cast<float>(fans.size()));
        for (std::size_t n = 0; n < fans.size(); ++n) EXPECT_FLOAT_EQ(valueOf("F" + std::to_string(n) + "Ac"), fans[n]);
        // No key reaches an excluded fan.
        EXPECT_FALSE(SMCBridge::writeValue("F" + std::to_string(fans.size()) + "Md", 1.0f));
        SMCBridge::setDriver(nullptr);
    }
}

TEST_F(HwmonSMCDriverTest, K10tempPrefersTdieOverTheTctlControlValue) {
    sysfs.addHwmon("hwmon2", "k10temp", "pci0000:00/0000:00:18.3");
    sysfs.set("hwmon2/temp1_label", "Tctl");
    sysfs.set("hwmon2/temp1_input", "75000");
    use(sysfs);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 75.0f);
    sysfs.set("hwmon2/temp2_label", "Tdie");
    sysfs.set("hwmon2/temp2_input", "65000");
    use(sysfs);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 65.0f);
}

// The CPU temperature is the first sensor in the bridge's search order that
// reads a plausible value; applesmc and macsmc sensors answer under the key
// they are labelled with.
TEST_F(HwmonSMCDriverTest, TheCpuTemperatureIsTheFirstPlausibleSensorInTheSearchOrder) {
    sysfs.addAppleSMC();
    sysfs.addMacSMC();
    // Searched before applesmc's TC0P, and none of them a temperature.
    const std::pair<const char*, const char*> implausible[] = {{"Tp05", "-1000"}, {"Tp01", "120000"}, {"Tp0D", "cold"}};
    for (int n = 0; n < 3; ++n) {
        const std::string sensor = "hwmon0/temp" + std::to_string(n + 3);
        sysfs.set(sensor + "_label", implausible[n].first);
        sysfs.set(sensor + "_input", implausible[n].second);
    }
    use(sysfs);
    EXPECT_FLOAT_EQ(read("TB0T"), 31.0f);
    EXPECT_FLOAT_EQ(read("F0Mx"), 6000.0f);  // applesmc's device path sorts first
    EXPECT_FLOAT_EQ(read("F1Mx"), 5800.0f);
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 47.5f);  // macsmc's Tp09 comes first
    sysfs.set("hwmon3/temp1_input", "0");
    EXPECT_FLOAT_EQ(SMCBridge::readCPUTemperature(), 45.0f);  // TC0P, last but one
    sysfs.remove("class/hwmon/hwmon0/temp2_input");
    EXPECT_EQ(SMCBridge::readCPUTemperature(), 0.0f);
}

TEST(PwmScale, SpeedMapsLinearlyBetweenMinAndMaxAndClamps) {
    // 2500 → 98 and 1100 → 36 are proved through the built helper.
    EXPECT_EQ(pwmForSpeed(100, 300, 6000), 0);
    EXPECT_EQ(pwmForSpeed(9000, 300, 6000), 255);
    EXPECT_EQ(pwmForSpeed(1000, 2000, 2000), 255);  // no usable scale: full duty
    for (int duty : {0, 1, 98, 255}) EXPECT_EQ(pwmForSpeed(speedForPwm(duty, 300, 6000), 300, 6000), duty);
}

// Switching a fan and setting its speed on each kind of chip. A step writes a
// key (none: only looks; "close": the connection is opened anew) and then
// expects one attribute.
TEST(HwmonFanWrites, EachKindOfChipSwitchesAndHoldsItsFanItsOwnWay) {
    struct Step {
        const char* key;
        float value;
        const char* attribute;
        const char* expected;
    };
    struct Chip {
        const char* name;
        std::function<void(const testing::HwmonTree&)> build;
        std::vector<Step> steps;
    };
    const Chip chips[] = {
        {"a pwm-only fan goes back to the enable it had at open, even after a reopen",
         [](const auto& tree) { tree.addDesktopWithNct6775(5); },
         {{"F0Tg", 2500, "hwmon4/pwm1", "120"},  // automatic: only remembered
          {"F0Md", 1, "hwmon4/pwm1_enable", "1"},
          {nullptr, 0, "hwmon4/pwm1", "98"},
          {"close", 0, "hwmon4/pwm1_enable", "1"},
          {"F0Md", 0, "hwmon4/pwm1_enable", "5"}}},
        {"a manual enable found at open is not written back as automatic",
         [](const auto& tree) { tree.addDesktopWithNct6775(1); },
         {{"F0Md", 0, "hwmon4/pwm1_enable", "2"}}},
        {"applesmc: its manual switch and its output, which automatic leaves alone",
         [](const auto& tree) { tree.addAppleSMC(); },
         {{"F0Md", 1, "hwmon0/fan1_manual", "1"},
          {"F0Tg", 2500, "hwmon0/fan1_output", "2500"},
          {"F0Md", 0, "hwmon0/fan1_manual", "0"},
          {nullptr, 0, "hwmon0/fan1_output", "2500"}}},
        {"macsmc: a target inside the limits is manual, zero is automatic",
         [](const auto& tree) { tree.addMacSMC(); },
         {{"F0Tg", 3000, "hwmon3/fan1_target", "2350"},  // still automatic
          {"F0Md", 1, "hwmon3/fan1_target", "3000"},
          {"F0Tg", 0, "hwmon3/fan1_target", "1500"},  // must not turn into "automatic"
          {"F0Tg", 9000, "hwmon3/fan1_target", "5800"},
          {"F0Md", 0, "hwmon3/fan1_target", "0"},
          {"F0Md", 1, "hwmon3/fan1_target", "2300"}}},  // no speed asked for since: hold the actual one
    };
    for (const Chip& chip : chips) {
        SCOPED_TRACE(chip.name);
        testing::HwmonTree tree;
        chip.build(tree);
        SMCBridge::setDriver(std::make_shared<HwmonSMCDriver>(tree.root()));
        for (const Step& step : chip.steps) {
            if (step.key && std::string_view(step.key) == "close") {
                SMCBridge::close();
            } else if (step.key) {
                EXPECT_TRUE(SMCBridge::writeValue(step.key, step.value)) << step.key << " " << step.value;
            }
            EXPECT_EQ(tree.get(step.attribute), step.expected) << (step.key ? step.key : "") << " " << step.value;
        }
        SMCBridge::setDriver(nullptr);
    }
}

TEST_F(HwmonSMCDriverTest, FansWithoutControlAndReadOnlyKeysRefuseWrites) {
    sysfs.addDesktopWithNct6775(5);
    sysfs.set("hwmon4/pwm1_enable", "5", 0444);  // fan control not enabled
    use(sysfs);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", 2000.0f).error(), SMCError::writeFailed);
    EXPECT_FLOAT_EQ(SMCBridge::readValue("F0Tg").value(), 1100.0f);  // where it turns
    EXPECT_EQ(SMCBridge::writeValue("F0Ac", 2000.0f).error(), SMCError::writeFailed);
    sysfs.addAppleSMC();  // fan 0 now
    use(sysfs);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 300.0f).error(),
              SMCError::writeFailed);  // no ui8 value
    EXPECT_EQ(sysfs.get("hwmon0/fan1_manual"), "0");
    EXPECT_TRUE(SMCBridge::writeValue("F0Md", 1.0f));
    EXPECT_EQ(SMCBridge::writeValue("F0Tg", -100.0f).error(), SMCError::writeFailed);
    EXPECT_EQ(SMCBridge::writeValue("F7Md", 1.0f).error(), SMCError::keyNotFound);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
}

// Threads that find the connection closed must open it once between them: a
// second open would leave the bridge holding a handle the driver has already
// replaced, and every later exchange would fail.
TEST_F(HwmonSMCDriverTest, ThreadsThatFindTheConnectionClosedOpenItOnce) {
    sysfs.addAppleSMC();
    use(sysfs);
    for (int round = 0; round < 100; ++round) {
        SMCBridge::close();
        std::latch start(4);
        std::atomic<int> failures = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                start.arrive_and_wait();
                failures += SMCBridge::readValue("F0Ac") ? 0 : 1;
            });
        }
        for (auto& thread : threads) thread.join();
        ASSERT_EQ(failures, 0) << "round " << round;
        ASSERT_TRUE(SMCBridge::readValue("F0Ac")) << "round " << round;
    }
}

}  // namespace
}  // namespace korvane
