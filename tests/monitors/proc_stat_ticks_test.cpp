// /proc/stat read from fixture files, and the monitors' Linux sources wired
// to fixture roots.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/proc/proc_stat_ticks.h"
#include "shared/smc/smc_bridge.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/hwmon/hwmon_tree.h"
#include "tests/monitors/proc_stat_text.h"

namespace korvane::linux_platform {
namespace {

using ::testing::ElementsAre;
using app::ProcessorTicks;

TEST(ProcStatTicks, FoldsTheKernelsTenCountersIntoFourByCpuNumber) {
    testing::FixtureTree proc;
    // cpu1 is offline; cpu3 comes from an old kernel with four counters; cpu0's
    // user counter is past 2^32.
    proc.write("stat",
               "cpu  9 9 9 9 9 9 9 9 9 9\n"
               "cpu0 4294967306 2 3 4 5 6 7 8 9 10\n"
               "cpu2 100 20 30 400 50 6 7 8 90 10\n"
               "cpu3 1 2 3 4\n"
               "intr 1 2 3\n"
               "cpu9 1 1 1 1\n");  // not a CPU line of the block: never reached
    ProcStatTickSource source(proc.root());
    std::vector<ProcessorTicks> ticks;
    ASSERT_TRUE(source.fetchTicks(ticks));
    EXPECT_THAT(ticks, ElementsAre(ProcessorTicks{0, 10, 3 + 6 + 7 + 8, 4 + 5, 2},
                                   ProcessorTicks{2, 100, 30 + 6 + 7 + 8, 400 + 50, 20},
                                   ProcessorTicks{3, 1, 3, 4, 2}));
}

TEST(ProcStatTicks, MalformedLinesAreLeftOutAndAFileWithoutCpusIsAFailure) {
    std::vector<ProcessorTicks> ticks;
    EXPECT_TRUE(parseProcStatTicks("cpu0 1 2 3 4\n"
                                   "cpu1 1 2 3\n"          // too few counters
                                   "cpu2 1 x 3 4\n"        // not a number
                                   "cpux 1 2 3 4\n"        // no CPU number
                                   "cpu3x 1 2 3 4\n"       // a number glued to a name
                                   "cpu4 -1 2 3 4\n"       // negative
                                   "cpu99999 1 2 3 4\n"    // beyond any real machine
                                   "cpu5 1 2 3 4 99999999999999999999\n"  // past 64 bits
                                   "cpu6 1 2 3 4",         // no final newline
                                   ticks));
    std::vector<std::int64_t> cpus;
    for (const auto& t : ticks) cpus.push_back(t.cpu);
    EXPECT_THAT(cpus, ElementsAre(0, 6));

    EXPECT_FALSE(parseProcStatTicks("", ticks));
    EXPECT_FALSE(parseProcStatTicks("cpu  1 2 3 4\nintr 5\n", ticks));
    testing::FixtureTree empty;
    EXPECT_FALSE(ProcStatTickSource(empty.root()).fetchTicks(ticks));
}

// Far longer than one read.
TEST(ProcStatTicks, A256CpuFileIsReadWhole) {
    testing::FixtureTree proc;
    proc.write("stat", testing::procStatText(256, 1));
    std::vector<ProcessorTicks> ticks;
    ASSERT_TRUE(ProcStatTickSource(proc.root()).fetchTicks(ticks));
    ASSERT_EQ(ticks.size(), 256u);
    EXPECT_EQ(ticks.back(), (ProcessorTicks{255, 355 * 3, 355 * 2 + 3, 355 * 40 + 7, 355}));
}

// The platform's sources on fixture roots: /proc/stat read anew on each
// fetch, and an SMC that reads hwmon and never writes it, whatever asks.
// (The layout's reader is the topology tests'; the sysfs root from the
// environment is the helper's too, and the fan end-to-end tests use it.)
TEST(MonitorPlatform, ReadsProcAnewAndTheSMCThereIsReadOnly) {
    testing::HwmonTree sysfs;
    testing::FixtureTree proc;
    sysfs.addDesktopWithNct6775(5);
    proc.write("stat", "cpu0 0 0 0 0\nintr 0\n");
    MonitorPlatform platform = installMonitorPlatform({sysfs.root(), proc.root()});
    std::vector<ProcessorTicks> ticks;
    ASSERT_TRUE(platform.ticks->fetchTicks(ticks));
    proc.write("stat", "cpu0 10 0 0 30\nintr 0\n");
    ASSERT_TRUE(platform.ticks->fetchTicks(ticks));
    EXPECT_THAT(ticks, ElementsAre(ProcessorTicks{0, 10, 0, 30, 0}));

    EXPECT_EQ(SMCBridge::readValue("F0Ac").value(), 1100.0f);
    EXPECT_EQ(SMCBridge::writeValue("F0Md", 1.0f).error(), SMCError::writeFailed);
    EXPECT_FALSE(SMCBridge::writeValue("F0Tg", 3000.0f));
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
    EXPECT_EQ(sysfs.get("hwmon4/pwm1"), "120");
    SMCBridge::setDriver(nullptr);
}

}  // namespace
}  // namespace korvane::linux_platform
