// Core kinds from fixture sysfs trees shaped like real machines.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <functional>
#include <set>

#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/machine/pinned_cpuid_reader.h"
#include "shared/log/log.h"
#include "tests/topology/cpu_sysfs.h"
#include "tests/topology/fake_cpuid.h"

namespace korvane {
namespace {

using testing::amdCore;
using testing::CpuSysfs;
using testing::FakeCpuid;
using testing::intelCore;

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

// x86 machines whose kinds CPUID may have to tell: sysfs first, CPUID only
// where sysfs says nothing, and never a half-known machine.
TEST(CpuTopologyTest, X86MachinesThroughSysfsThenCpuid) {
    struct X86Machine {
        const char* name;
        const char* online;
        std::vector<std::pair<const char*, testing::FakeCpu>> cpuid;  // the CPUs a thread can run on
        TopologySource source;
        const char* performance;
        const char* efficiency;
        std::function<void(const CpuSysfs&)> moreSysfs = nullptr;
        bool logged = false;  // an answer that could not be placed
    };
    // Core Ultra 7 155H: 6 P with SMT, 8 E and 2 low-power E.
    const std::vector<std::pair<const char*, testing::FakeCpu>> ultra155H = {{"0-11", intelCore(0x40)},
                                                                             {"12-21", intelCore(0x20)}};
    const X86Machine machines[] = {
        {"Ryzen AI 9 HX 370: 4 Zen 5 + 8 Zen 5c, SMT siblings numbered after the cores", "0-23",
         {{"0-3,12-15", amdCore(0)}, {"4-11,16-23", amdCore(1)}}, TopologySource::AmdCpuid, "0-3,12-15",
         "4-11,16-23"},
        {"155H with its hybrid PMU lists, the low-power cores under cpu_atom", "0-21", ultra155H,
         TopologySource::IntelHybridPmu, "0-11", "12-21",
         [](const CpuSysfs& sys) {
             sys.pmu("cpu_core", "0-11");
             sys.pmu("cpu_atom", "12-21");
         }},
        {"155H in a container whose /sys has no PMU lists", "0-21", ultra155H, TopologySource::IntelCpuid, "0-11",
         "12-21"},
        {"155H in a container allowed CPUs 2-5 and 12-13 only", "0-21",
         {{"2-5", intelCore(0x40)}, {"12-13", intelCore(0x20)}}, TopologySource::IntelCpuid, "2-5", "12-13",
         [](const CpuSysfs& sys) { sys.write("fs/cgroup/cpuset.cpus.effective", "2-5,12-13\n"); }},
        {"Ryzen 9 7950X: leaf 0x80000026 without heterogeneous cores", "0-31", {{"0-31", amdCore(0, false)}},
         TopologySource::Homogeneous, "0-31", ""},
        {"an AMD core type Korvane does not know", "0-3", {{"0-1", amdCore(0)}, {"2-3", amdCore(7)}},
         TopologySource::Homogeneous, "0-3", "", nullptr, true},
    };
    for (const auto& machine : machines) {
        CpuSysfs sys;
        sys.online(machine.online);
        if (machine.moreSysfs) machine.moreSysfs(sys);
        FakeCpuid cpuid;
        for (const auto& [cpus, cpu] : machine.cpuid) cpuid.add(cpus, cpu);
        log::CapturedLines logged;
        auto topology = linux_platform::readCpuTopology(sys.root(), &cpuid);
        EXPECT_EQ(topology.source(), machine.source) << machine.name;
        EXPECT_EQ(formatCpuList(topology.performanceCPUs()), machine.performance) << machine.name;
        EXPECT_EQ(formatCpuList(topology.efficiencyCPUs()), machine.efficiency) << machine.name;
        EXPECT_EQ(logged.countStartingWith("CpuTopology: CPUID: CPU "), machine.logged ? 1 : 0) << machine.name;
    }
}

// The real reader on this machine: each CPU answers with its own initial
// APIC ID (leaf 1, EBX[31:24]), so a thread that was not really moved
// would show as two CPUs with one ID.
TEST(CpuTopologyTest, PinnedCpuidAsksEachCpuOnItsOwnCore) {
    if (!linux_platform::PinnedCpuidReader::available()) GTEST_SKIP() << "no CPUID on this processor";
    linux_platform::PinnedCpuidReader reader;
    const CpuidQuery leaf1[] = {{1, 0}};
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    std::set<std::uint32_t> apicIds;
    int asked = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed)) continue;
        auto answer = reader.readOn(cpu, leaf1);
        ASSERT_TRUE(answer) << cpu;
        apicIds.insert(answer->front().ebx >> 24);
        ++asked;
    }
    EXPECT_EQ(static_cast<int>(apicIds.size()), asked);
    EXPECT_FALSE(reader.readOn(kMaxCpuNumber, leaf1));  // no such CPU: nothing, and no harm
    cpu_set_t after;
    ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_TRUE(CPU_EQUAL(&allowed, &after));  // the caller's own affinity is untouched
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
