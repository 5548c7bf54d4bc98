#include "platform/linux/machine/system_summary_reader.h"

#include <gtest/gtest.h>

#include "tests/topology/cpu_sysfs.h"

namespace korvane::linux_platform {
namespace {

using testing::CpuSysfs;

void siblings(const CpuSysfs& sys, int cpu, const std::string& list) {
    sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/core_cpus_list",
              list + "\n");
}

TEST(SystemSummary, HybridCoresCountEachPhysicalCoreOnce) {
    CpuSysfs sys;
    sys.online("0-7");
    sys.pmu("cpu_core", "0-3");
    sys.pmu("cpu_atom", "4-7");
    // Two performance cores with two threads each; four single-thread efficiency cores.
    for (int cpu : {0, 1}) siblings(sys, cpu, "0-1");
    for (int cpu : {2, 3}) siblings(sys, cpu, "2-3");
    for (int cpu = 4; cpu < 8; ++cpu) siblings(sys, cpu, std::to_string(cpu));
    EXPECT_EQ(cpuTopologyText(sys.root()), "2P + 4E Cores");
}

TEST(SystemSummary, OneKindOfCoreAndOlderKernelsSiblingFile) {
    CpuSysfs sys;
    sys.online("0-3");
    for (int cpu = 0; cpu < 4; ++cpu) {
        sys.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/thread_siblings_list",
                  cpu % 2 ? "1,3\n" : "0,2\n");
    }
    EXPECT_EQ(cpuTopologyText(sys.root()), "2 Cores (one kind)");

    // Without topology files every CPU is a core of its own.
    CpuSysfs bare;
    bare.online("0-5");
    EXPECT_EQ(cpuTopologyText(bare.root()), "6 Cores (one kind)");
}

TEST(SystemSummary, MachineNameFromDmiDeviceTreeOrFallback) {
    testing::FixtureTree sys, proc;
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "Linux computer");

    proc.write("device-tree/model", std::string("Raspberry Pi 5 Model B Rev 1.0\0", 31));
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "Raspberry Pi 5 Model B Rev 1.0");

    // Template texts left by the firmware do not count as a name.
    sys.write("class/dmi/id/product_name", "To Be Filled By O.E.M.\n");
    sys.write("class/dmi/id/sys_vendor", "To Be Filled By O.E.M.\n");
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "Raspberry Pi 5 Model B Rev 1.0");

    sys.write("class/dmi/id/product_name", "XPS 13 9340\n");
    sys.write("class/dmi/id/sys_vendor", "Dell Inc.\n");
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "Dell Inc. XPS 13 9340");

    // A vendor already in the product name is not repeated; a placeholder vendor is left out.
    sys.write("class/dmi/id/product_name", "Framework Laptop 13 (Intel Core Ultra Series 1)\n");
    sys.write("class/dmi/id/sys_vendor", "Framework\n");
    EXPECT_EQ(machineModelName(sys.root(), proc.root()),
              "Framework Laptop 13 (Intel Core Ultra Series 1)");
    sys.write("class/dmi/id/sys_vendor", "System manufacturer\n");
    sys.write("class/dmi/id/product_name", "B760M DS3H\n");
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "B760M DS3H");
}

TEST(SystemSummary, InstalledMemoryFromOnlineBlocksElseMemTotalRounded) {
    testing::FixtureTree sys, proc;
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "RAM unknown");

    // 16 GiB less what firmware and kernel keep: rounding down would say 15.
    proc.write("meminfo", "MemTotal:       16088724 kB\nMemFree:         1000 kB\n");
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "15 GB RAM");  // 15.34 GiB is nearest 15
    proc.write("meminfo", "MemTotal:       16303192 kB\n");    // 15.55 GiB
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "16 GB RAM");

    // 128 MiB blocks: 130 online (16.25 GiB) and 2 offline.
    sys.write("devices/system/memory/block_size_bytes", "8000000\n");
    for (int block = 0; block < 132; ++block) {
        sys.write("devices/system/memory/memory" + std::to_string(block) + "/online",
                  block < 130 ? "1\n" : "0\n");
    }
    sys.write("devices/system/memory/auto_online_blocks", "online\n");
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "16 GB RAM");
    for (int block = 130; block < 260; ++block) {
        sys.write("devices/system/memory/memory" + std::to_string(block) + "/online", "1\n");
    }
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "33 GB RAM");  // 260 blocks: 32.5 GiB
}

}  // namespace
}  // namespace korvane::linux_platform
