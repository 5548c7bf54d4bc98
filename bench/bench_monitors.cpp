// What the hardware monitors cost per tick: one /proc/stat sample of a
// 256-CPU machine (goal: at most 100 µs), one fan poll through the SMC bridge
// and the hwmon driver (goal: at most 200 µs), and the heap allocations of a
// sampler tick once the first tick has sized its buffers (goal: none).
//
// Allocations are counted by the replaced global operator new of
// counting_new.cpp; the figures are printed before the timed benchmarks run.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "app/client/xpc_manager.h"
#include "app/monitors/core_visualizer_view_model.h"
#include "app/monitors/fan_manager.h"
#include "bench/counting_new.h"
#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "shared/smc/smc_bridge.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/hwmon/hwmon_tree.h"
#include "tests/monitors/proc_stat_text.h"

using namespace korvane;

namespace {

constexpr int kCpus = 256;

struct Machine {
    Machine() {
        proc.write("stat", testing::procStatText(kCpus, 1));
        sysfs.write("devices/system/cpu/online", "0-255\n");
        sysfs.write("devices/cpu_core/cpus", "0-127\n");
        sysfs.write("devices/cpu_atom/cpus", "128-255\n");
        sysfs.addDesktopWithNct6775(2);
        platform = linux_platform::installMonitorPlatform({sysfs.root(), proc.root()});
    }
    ~Machine() { SMCBridge::setDriver(nullptr); }

    testing::FixtureTree proc;
    testing::HwmonTree sysfs;
    linux_platform::MonitorPlatform platform;
};

void BM_ProcStatSample256Cpus(benchmark::State& state) {
    Machine machine;
    std::vector<app::ProcessorTicks> ticks;
    for (auto _ : state) {
        bool ok = machine.platform.ticks->fetchTicks(ticks);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_ProcStatSample256Cpus)->Unit(benchmark::kMicrosecond);

// A whole sampler tick: the read, the arithmetic, and publishing both lists.
void BM_CoreSamplerTick256Cpus(benchmark::State& state) {
    Machine machine;
    VirtualMainLoop loop;
    app::CoreVisualizerViewModel cores({loop, *machine.platform.ticks, *machine.platform.layout});
    cores.startMonitoring(3.0);
    for (auto _ : state) loop.advanceBy(seconds(3));
}
BENCHMARK(BM_CoreSamplerTick256Cpus)->Unit(benchmark::kMicrosecond);

void BM_FanPoll(benchmark::State& state) {
    Machine machine;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    linux_platform::SocketHelperConnector connector(folder.path("absent.sock"));
    app::XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    app::FanManager fans({loop, xpc});
    loop.advanceBy(seconds(1));  // the status check, out of the way
    for (auto _ : state) loop.advanceBy(seconds(15));  // exactly one poll
    if (fans.currentRPM.get() != 1100) state.SkipWithError("the poll did not read the fixture");
}
BENCHMARK(BM_FanPoll)->Unit(benchmark::kMicrosecond);

void printAllocationFigures() {
    Machine machine;
    constexpr int kTicks = 1000;

    std::vector<app::ProcessorTicks> ticks;
    machine.platform.ticks->fetchTicks(ticks);  // sizes the buffers
    long long before = bench::heapAllocations();
    for (int i = 0; i < kTicks; ++i) machine.platform.ticks->fetchTicks(ticks);
    double sampler = static_cast<double>(bench::heapAllocations() - before) / kTicks;

    VirtualMainLoop loop;
    app::CoreVisualizerViewModel cores({loop, *machine.platform.ticks, *machine.platform.layout});
    cores.startMonitoring(3.0);
    loop.advanceBy(seconds(3));
    before = bench::heapAllocations();
    for (int i = 0; i < kTicks; ++i) loop.advanceBy(seconds(3));
    double wholeTick = static_cast<double>(bench::heapAllocations() - before) / kTicks;

    std::printf("Allocations per tick after the first, %d CPUs, mean of %d ticks:\n", kCpus, kTicks);
    std::printf("  /proc/stat sample (read and parse):            %.2f  (goal 0)\n", sampler);
    std::printf("  whole sampler tick incl. publishing the lists: %.2f\n", wholeTick);
    if (sampler != 0.0) std::printf("  GOAL MISSED: the sample allocates\n");
}

}  // namespace

int main(int argc, char** argv) {
    log::setSink([](std::string_view) {});
    printAllocationFigures();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
