// Core kinds from fixture sysfs trees shaped like real machines.
#include <gtest/gtest.h>

#include <algorithm>

#include "shared/topology/cpu_topology.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane {
namespace {

using testing::FakeSysfsTree;

CpuList cpus(const char* text) { return parseCpuList(text).value(); }

void capacities(FakeSysfsTree& sys, const std::vector<int>& values) {
    for (std::size_t cpu = 0; cpu < values.size(); ++cpu) {
        sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", std::to_string(values[cpu]) + "\n");
    }
}

TEST(CpuTopologyTest, IntelHybridListsComeFirstWithNonContiguousThreadsAndOfflineCpus) {
    FakeSysfsTree sys;
    sys.online("0,2-19");  // CPU 1 and both low-power cores are offline
    sys.write("devices/cpu_core/cpus", "0-1,10-15\n");
    sys.write("devices/cpu_atom/cpus", "2-9,16-19\n");
    sys.write("devices/cpu_lowpower/cpus", "20-21\n");
    std::vector<int> bigFirst(22, 500);
    std::fill_n(bigFirst.begin(), 10, 1024);
    capacities(sys, bigFirst);  // would make 0-9 performance; the PMU lists come first

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::IntelHybridPmu);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0,10-15"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("2-9,16-19"));
    EXPECT_EQ(topology.kindOf(12), CpuKind::Performance);
    EXPECT_EQ(topology.kindOf(16), CpuKind::Efficiency);
    EXPECT_EQ(topology.kindOf(1), std::nullopt);
    EXPECT_EQ(topology.kindOf(20), std::nullopt);
}

TEST(CpuTopologyTest, ArmCapacitiesMakeOnlyTheLargestPerformance) {
    FakeSysfsTree sys;
    sys.online("0-7");
    capacities(sys, {446, 446, 446, 446, 871, 871, 871, 1024});
    sys.write("devices/armv8_cortex_a55/cpus", "4-7\n");  // contradicts; capacities come first

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CpuCapacity);
    EXPECT_EQ(topology.performanceCPUs(), cpus("7"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-6"));
}

TEST(CpuTopologyTest, AppleCoreTypeFoldersWithEfficiencyCoresNumberedFirst) {
    FakeSysfsTree sys;
    sys.online("0-2,4-7");  // CPU 3 offline
    capacities(sys, std::vector<int>(8, 1024));  // equal: no answer
    sys.write("devices/apple_icestorm_pmu/cpus", "0-3\n");
    sys.write("devices/apple_firestorm_pmu/cpus", "4-7\n");
    sys.write("devices/breakpoint/type", "5\n");

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CoreTypePmu);
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-2"));
    EXPECT_EQ(topology.performanceCPUs(), cpus("4-7"));
    EXPECT_TRUE(topology.isHybrid());
}

TEST(CpuTopologyTest, WithoutAnySignTheMachineIsHomogeneous) {
    FakeSysfsTree sys;
    sys.online("0-1");
    sys.write("devices/armv8_cortex_a53/cpus", "0-1\n");  // one kind only says nothing
    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::Homogeneous);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0-1"));
    EXPECT_FALSE(topology.isHybrid());

    FakeSysfsTree bare;  // no online file: the cpuN folders are the CPUs
    bare.write("devices/system/cpu/cpu0/uevent", "");
    bare.write("devices/system/cpu/cpu3/uevent", "");
    bare.write("devices/system/cpu/cpufreq/uevent", "");
    EXPECT_EQ(CpuTopology::detect(bare.root()).performanceCPUs(), cpus("0,3"));
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
