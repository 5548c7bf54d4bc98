#include "platform/linux/machine/system_summary_reader.h"

#include <gtest/gtest.h>

#include "tests/topology/cpu_sysfs.h"

namespace korvane::linux_platform {
namespace {

using testing::CpuSysfs;

// Each physical core counts once, whichever file names its threads.
TEST(SystemSummary, CoresAreCountedByPhysicalCore) {
    CpuSysfs hybrid;
    hybrid.online("0-7");
    hybrid.pmu("cpu_core", "0-3");
    hybrid.pmu("cpu_atom", "4-7");
    // Two performance cores with two threads each; four single-thread efficiency cores.
    for (int cpu = 0; cpu < 8; ++cpu) {
        hybrid.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/core_cpus_list",
                     cpu < 2 ? "0-1\n" : cpu < 4 ? "2-3\n" : std::to_string(cpu) + "\n");
    }
    EXPECT_EQ(cpuTopologyText(hybrid.root()), "2P + 4E Cores");

    CpuSysfs older;  // an older kernel's sibling file
    older.online("0-3");
    for (int cpu = 0; cpu < 4; ++cpu) {
        older.write("devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/thread_siblings_list",
                    cpu % 2 ? "1,3\n" : "0,2\n");
    }
    EXPECT_EQ(cpuTopologyText(older.root()), "2 Cores (one kind)");

    CpuSysfs bare;  // without topology files every CPU is a core of its own
    bare.online("0-5");
    EXPECT_EQ(cpuTopologyText(bare.root()), "6 Cores (one kind)");
}

TEST(SystemSummary, MachineNameFromDmiDeviceTreeOrFallback) {
    struct Case {
        const char* product;  // DMI
        const char* vendor;
        const char* expected;
    };
    // Template texts left by the firmware are no name; a vendor already in the
    // product name is not repeated.
    const Case cases[] = {
        {"To Be Filled By O.E.M.", "To Be Filled By O.E.M.", "Raspberry Pi 5 Model B Rev 1.0"},
        {"XPS 13 9340", "Dell Inc.", "Dell Inc. XPS 13 9340"},
        {"Framework Laptop 13 (Intel Core Ultra Series 1)", "Framework",
         "Framework Laptop 13 (Intel Core Ultra Series 1)"},
        {"B760M DS3H", "System manufacturer", "B760M DS3H"},
    };
    testing::FixtureTree sys, proc;
    EXPECT_EQ(machineModelName(sys.root(), proc.root()), "Linux computer");
    proc.write("device-tree/model", std::string("Raspberry Pi 5 Model B Rev 1.0\0", 31));
    for (const Case& c : cases) {
        sys.write("class/dmi/id/product_name", c.product + std::string("\n"));
        sys.write("class/dmi/id/sys_vendor", c.vendor + std::string("\n"));
        EXPECT_EQ(machineModelName(sys.root(), proc.root()), c.expected);
    }
}

TEST(SystemSummary, InstalledMemoryFromOnlineBlocksElseMemTotalRounded) {
    testing::FixtureTree sys, proc;
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "RAM unknown");

    // 16 GiB less what firmware and kernel keep: rounding down would say 15.
    proc.write("meminfo", "MemTotal:       16088724 kB\nMemFree:         1000 kB\n");
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "15 GB RAM");  // 15.34 GiB is nearest 15
    proc.write("meminfo", "MemTotal:       16303192 kB\n");    // 15.55 GiB
    EXPECT_EQ(ramInfo(sys.root(), proc.root()), "16 GB RAM");

    // 128 MiB blocks: 130 online (16.25 GiB) and 2 offline, then 260 online.
    sys.write("devices/system/memory/block_size_bytes", "8000000\n");
    sys.write("devices/system/memory/auto_online_blocks", "online\n");
    for (int blocks : {130, 260}) {
        for (int block = 0; block < 262; ++block) {
            sys.write("devices/system/memory/memory" + std::to_string(block) + "/online",
                      block < blocks ? "1\n" : "0\n");
        }
        EXPECT_EQ(ramInfo(sys.root(), proc.root()), blocks == 130 ? "16 GB RAM" : "33 GB RAM");  // 32.5 GiB
    }
}

}  // namespace
}  // namespace korvane::linux_platform
