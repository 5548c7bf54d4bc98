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

// Machines as sysfs (and, on x86, CPUID) describe them: sysfs first, CPUID
// only where sysfs says nothing, and never a half-known machine.
TEST(CpuTopologyTest, MachinesThroughSysfsThenCpuid) {
    struct Machine {
        const char* name;
        const char* online;  // none: the cpuN folders are the CPUs
        std::function<void(const CpuSysfs&)> sysfs;
        std::vector<std::pair<const char*, testing::FakeCpu>> cpuid;  // the CPUs a thread can run on
        TopologySource source;
        const char* performance;
        const char* efficiency;
        bool logged = false;  // an answer that could not be placed
    };
    auto none = [](const CpuSysfs&) {};
    // Core Ultra 7 155H: 6 P with SMT, 8 E and 2 low-power E.
    const std::vector<std::pair<const char*, testing::FakeCpu>> ultra155H = {{"0-11", intelCore(0x40)},
                                                                             {"12-21", intelCore(0x20)}};
    const Machine machines[] = {
        {"Intel hybrid PMU lists, which come before capacities; CPU 1 and the low-power cores offline", "0,2-19",
         [](const CpuSysfs& sys) {
             sys.pmu("cpu_core", "0-1,10-15");
             sys.pmu("cpu_atom", "2-9,16-19");
             sys.pmu("cpu_lowpower", "20-21");
             std::vector<int> bigFirst(22, 500);
             std::fill_n(bigFirst.begin(), 10, 1024);
             sys.capacities(bigFirst);
         },
         {}, TopologySource::IntelHybridPmu, "0,10-15", "2-9,16-19"},
        {"ARM capacities make only the largest performance, whatever a PMU name says", "0-7",
         [](const CpuSysfs& sys) {
             sys.capacities({446, 446, 446, 446, 871, 871, 871, 1024});
             sys.pmu("armv8_cortex_a55", "4-7");
         },
         {}, TopologySource::CpuCapacity, "7", "0-6"},
        {"Apple core-type PMUs with efficiency cores numbered first, CPU 3 offline, capacities equal", "0-2,4-7",
         [](const CpuSysfs& sys) {
             sys.capacities(std::vector<int>(8, 1024));
             sys.pmu("apple_icestorm_pmu", "0-3");
             sys.pmu("apple_firestorm_pmu", "4-7");
             sys.write("devices/breakpoint/type", "5\n");
         },
         {}, TopologySource::CoreTypePmu, "4-7", "0-2"},
        {"one kind of PMU says nothing", "0-1", [](const CpuSysfs& sys) { sys.pmu("armv8_cortex_a53", "0-1"); }, {},
         TopologySource::Homogeneous, "0-1", ""},
        {"no online file", nullptr,
         [](const CpuSysfs& sys) {
             for (const char* folder : {"cpu0", "cpu3", "cpufreq"}) sys.mkdir(std::string("devices/system/cpu/") + folder);
         },
         {}, TopologySource::Homogeneous, "0,3", ""},
        {"Ryzen AI 9 HX 370: 4 Zen 5 + 8 Zen 5c, SMT siblings numbered after the cores", "0-23", none,
         {{"0-3,12-15", amdCore(0)}, {"4-11,16-23", amdCore(1)}}, TopologySource::AmdCpuid, "0-3,12-15",
         "4-11,16-23"},
        {"155H with its hybrid PMU lists, the low-power cores under cpu_atom", "0-21",
         [](const CpuSysfs& sys) {
             sys.pmu("cpu_core", "0-11");
             sys.pmu("cpu_atom", "12-21");
         },
         ultra155H, TopologySource::IntelHybridPmu, "0-11", "12-21"},
        {"155H in a container whose /sys has no PMU lists", "0-21", none, ultra155H, TopologySource::IntelCpuid,
         "0-11", "12-21"},
        {"155H in a container allowed CPUs 2-5 and 12-13 only", "0-21",
         [](const CpuSysfs& sys) { sys.write("fs/cgroup/cpuset.cpus.effective", "2-5,12-13\n"); },
         {{"2-5", intelCore(0x40)}, {"12-13", intelCore(0x20)}}, TopologySource::IntelCpuid, "2-5", "12-13"},
        {"Ryzen 9 7950X: leaf 0x80000026 without heterogeneous cores", "0-31", none, {{"0-31", amdCore(0, false)}},
         TopologySource::Homogeneous, "0-31", ""},
        {"an AMD core type Korvane does not know", "0-3", none, {{"0-1", amdCore(0)}, {"2-3", amdCore(7)}},
         TopologySource::Homogeneous, "0-3", "", true},
    };
    for (const auto& machine : machines) {
        CpuSysfs sys;
        if (machine.online) sys.online(machine.online);
        machine.sysfs(sys);
        FakeCpuid cpuid;
        for (const auto& [cpus, cpu] : machine.cpuid) cpuid.add(cpus, cpu);
        log::CapturedLines logged;
        auto topology = linux_platform::readCpuTopology(sys.root(), machine.cpuid.empty() ? nullptr : &cpuid);
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
    for (const char* name : {"apple_blizzard_pmu", "armv7_cortex_a7", "armv9_cortex_a510"}) {
        EXPECT_TRUE(isEfficiencyCorePmuName(name)) << name;
    }
    for (const char* name : {"armv8_cortex_a76", "armv8_cortex_a710", "armv8_pmuv3_0"}) {
        EXPECT_FALSE(isEfficiencyCorePmuName(name)) << name;
    }
}

}  // namespace
}  // namespace korvane
