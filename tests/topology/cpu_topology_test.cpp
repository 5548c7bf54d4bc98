// Core kinds from fixture sysfs trees shaped like real machines.
#include <gtest/gtest.h>

#include "shared/topology/cpu_topology.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane {
namespace {

using testing::FakeSysfsTree;

CpuList cpus(const char* text) { return parseCpuList(text).value(); }

TEST(CpuTopologyTest, IntelHybridListsWinWithNonContiguousThreadsAndOfflineCpus) {
    FakeSysfsTree sys;
    sys.cpus("0,2-19", 21);  // CPU 1 and both low-power cores are offline
    sys.write("devices/cpu_core/cpus", "0-1,10-15\n");
    sys.write("devices/cpu_atom/cpus", "2-9,16-19\n");
    sys.write("devices/cpu_lowpower/cpus", "20-21\n");
    // Capacities that say otherwise must not matter: the PMU lists come first.
    for (int cpu = 0; cpu <= 21; ++cpu) {
        sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", cpu < 10 ? "1024" : "500");
    }

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::IntelHybridPmu);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0,10-15"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("2-9,16-19"));
    EXPECT_TRUE(topology.isHybrid());
    EXPECT_EQ(topology.kindOf(12), CpuKind::Performance);
    EXPECT_EQ(topology.kindOf(16), CpuKind::Efficiency);
    EXPECT_EQ(topology.kindOf(1), std::nullopt);
    EXPECT_EQ(topology.kindOf(20), std::nullopt);
}

TEST(CpuTopologyTest, ArmCapacitiesMakeOnlyTheLargestPerformance) {
    FakeSysfsTree sys;
    sys.cpus("0-7", 7);
    const char* capacity[] = {"446", "446", "446", "446", "871", "871", "871", "1024"};
    for (int cpu = 0; cpu < 8; ++cpu) {
        sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", std::string(capacity[cpu]) + "\n");
    }
    sys.write("devices/armv8_cortex_a55/cpus", "4-7\n");  // contradicts; capacities come first

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CpuCapacity);
    EXPECT_EQ(topology.performanceCPUs(), cpus("7"));
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-6"));
}

TEST(CpuTopologyTest, AppleCoreTypeFoldersWithEfficiencyCoresNumberedFirst) {
    FakeSysfsTree sys;
    sys.cpus("0-2,4-7", 7);  // CPU 3 offline
    for (int cpu = 0; cpu < 8; ++cpu) {
        sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", "1024\n");  // equal: no answer
    }
    sys.write("devices/apple_icestorm_pmu/cpus", "0-3\n");
    sys.write("devices/apple_firestorm_pmu/cpus", "4-7\n");
    sys.write("devices/breakpoint/type", "5\n");

    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::CoreTypePmu);
    EXPECT_EQ(topology.efficiencyCPUs(), cpus("0-2"));
    EXPECT_EQ(topology.performanceCPUs(), cpus("4-7"));
    EXPECT_EQ(topology.kindOf(0), CpuKind::Efficiency);
}

TEST(CpuTopologyTest, WithoutAnySignTheMachineIsHomogeneous) {
    FakeSysfsTree sys;
    sys.cpus("0-1", 1);
    sys.write("devices/armv8_cortex_a53/cpus", "0-1\n");  // one kind only says nothing
    auto topology = CpuTopology::detect(sys.root());
    EXPECT_EQ(topology.source(), TopologySource::Homogeneous);
    EXPECT_EQ(topology.performanceCPUs(), cpus("0-1"));
    EXPECT_TRUE(topology.efficiencyCPUs().empty());
    EXPECT_FALSE(topology.isHybrid());

    // No online file: the cpuN folders are the CPUs.
    FakeSysfsTree bare;
    bare.write("devices/system/cpu/cpu0/uevent", "");
    bare.write("devices/system/cpu/cpu3/uevent", "");
    bare.write("devices/system/cpu/cpufreq/x", "");
    EXPECT_EQ(CpuTopology::detect(bare.root()).performanceCPUs(), cpus("0,3"));
}

TEST(CpuTopologyTest, CoreDesignNamesAreMatchedWhole) {
    for (const char* little : {"apple_icestorm_pmu", "apple_blizzard_pmu", "armv8_cortex_a55", "armv7_cortex_a7",
                               "armv9_cortex_a510"}) {
        EXPECT_TRUE(isEfficiencyCorePmuName(little)) << little;
    }
    for (const char* big : {"apple_firestorm_pmu", "armv8_cortex_a76", "armv8_cortex_a710", "armv8_cortex_x1",
                            "armv8_pmuv3_0", "cpu_core"}) {
        EXPECT_FALSE(isEfficiencyCorePmuName(big)) << big;
    }
}

}  // namespace
}  // namespace korvane
