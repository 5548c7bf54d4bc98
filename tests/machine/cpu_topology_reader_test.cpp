// Core kinds from fixture sysfs trees shaped like real machines.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/linux/machine/cpu_topology_reader.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane {
namespace {

using testing::CpuSysfs;

CpuList cpus(const char* text) { return parseCpuList(text).value(); }

TEST(CpuTopologyTest, IntelHybridListsComeFirstWithNonContiguousThreadsAndOfflineCpus) {
    CpuSysfs sys;
    sys.online("0,2-19");  // CPU 1 and both low-power cores are offline
    sys.pmu("cpu_core", "0-1,10-15");
    sys.pmu("cpu_atom", "2-9,16-19");
    sys.pmu("cpu_lowpower", "20-21");
    std::vector<int> bigFirst(22, 500);
    std::fill_n(bigFirst.begin(), 10, 1024);
    sys.capacities(bigFirst);  // would make 0-9 performance; the PMU lists come first

    auto topology = linux_platform::readCpuTopology(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::IntelHybridPmu);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0,10-15"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("2-9,16-19"));
    EXPECT_EQ(topology.kindOf(12), CpuKind::Performance);
    EXPECT_EQ(topology.kindOf(16), CpuKind::Efficiency);
    EXPECT_EQ(topology.kindOf(1), std::nullopt);
    EXPECT_EQ(topology.kindOf(20), std::nullopt);
}

TEST(CpuTopologyTest, ArmCapacitiesMakeOnlyTheLargestPerformance) {
    CpuSysfs sys;
    sys.online("0-7");
    sys.capacities({446, 446, 446, 446, 871, 871, 871, 1024});
    sys.pmu("armv8_cortex_a55", "4-7");  // contradicts; capacities come first

    auto topology = linux_platform::readCpuTopology(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CpuCapacity);
    EXPECT_EQ(topology.performanceCPUs(), cpus("7"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-6"));
}

TEST(CpuTopologyTest, AppleCoreTypeFoldersWithEfficiencyCoresNumberedFirst) {
    CpuSysfs sys;
    sys.online("0-2,4-7");  // CPU 3 offline
    sys.capacities(std::vector<int>(8, 1024));  // equal: no answer
    sys.pmu("apple_icestorm_pmu", "0-3");
    sys.pmu("apple_firestorm_pmu", "4-7");
    sys.write("devices/breakpoint/type", "5\n");

    auto topology = linux_platform::readCpuTopology(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CoreTypePmu);
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-2"));
    EXPECT_EQ(topology.performanceCPUs(), cpus("4-7"));
    EXPECT_TRUE(topology.isHybrid());
}

TEST(CpuTopologyTest, WithoutAnySignTheMachineIsHomogeneous) {
    CpuSysfs sys;
    sys.online("0-1");
    sys.pmu("armv8_cortex_a53", "0-1");  // one kind only says nothing
    auto topology = linux_platform::readCpuTopology(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::Homogeneous);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0-1"));
    EXPECT_FALSE(topology.isHybrid());

    CpuSysfs bare;  // no online file: the cpuN folders are the CPUs
    bare.mkdir("devices/system/cpu/cpu0");
    bare.mkdir("devices/system/cpu/cpu3");
    bare.mkdir("devices/system/cpu/cpufreq");
    EXPECT_EQ(linux_platform::readCpuTopology(bare.root()).performanceCPUs(), cpus("0,3"));
}

TEST(CpuTopologyTest, CoreDesignNamesAreMatchedWhole) {
    EXPECT_TRUE(isEfficiencyCorePmuName("apple_blizzard_pmu"));
    EXPECT_TRUE(isEfficiencyCorePmuName("armv7_cortex_a7"));
    EXPECT_TRUE(isEfficiencyCorePmuName("armv9_cortex_a510"));
    EXPECT_FALSE(isEfficiencyCorePmuName("armv8_cortex_a76"));
    EXPECT_FALSE(isEfficiencyCorePmuName("armv8_cortex_a710"));
    EXPECT_FALSE(isEfficiencyCorePmuName("armv8_pmuv3_0"));
}

}  // namespace
}  // namespace korvane
