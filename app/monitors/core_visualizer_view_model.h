#pragma once
// CoreVisualizerViewModel: how busy each CPU was over the last sampling
// period, split into performance and efficiency CPUs, for the tray heatmap
// and the core panel. Main thread only.
//
// A CPU's kind comes from the machine's topology, never from its position:
// ARM numbers its efficiency CPUs first, hybrid Intel parts give each
// performance core two threads, and some layouts are not contiguous.
#include <cstdint>
#include <vector>

#include "app/monitors/core_layout_source.h"
#include "app/monitors/core_usage.h"
#include "app/monitors/processor_tick_source.h"
#include "app/runtime/published.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class CoreVisualizerViewModel {
public:
    struct Dependencies {
        MainLoop& mainLoop;
        ProcessorTickSource& ticks;
        CoreLayoutSource& layout;
    };

    // Reads the layout for the three counts; does not start sampling.
    explicit CoreVisualizerViewModel(Dependencies dependencies);
    CoreVisualizerViewModel(const CoreVisualizerViewModel&) = delete;
    CoreVisualizerViewModel& operator=(const CoreVisualizerViewModel&) = delete;

    // The CPUs of the last sample, by ascending CPU number. Both are written
    // on every sample, P first, even when nothing changed.
    Published<std::vector<CoreUsage>> pCoreUsages;
    Published<std::vector<CoreUsage>> eCoreUsages;
    Published<bool> isRunning{false};

    // Logical CPUs of each kind and online in all; updated before the lists
    // are published, so an observer of the lists reads matching counts.
    std::int64_t pCoreCount() const { return pCoreCount_; }
    std::int64_t eCoreCount() const { return eCoreCount_; }
    std::int64_t totalCores() const { return totalCores_; }

    // Takes a fresh baseline (every CPU published at 0.0) and samples every
    // `intervalSeconds`. While running it does nothing, so the first caller's
    // period stays. A period below 0.1 s is taken as 0.1 s, one that is not a
    // number as 3 s.
    void startMonitoring(double intervalSeconds);
    // The lists and the baseline keep their last values.
    void stopMonitoring();

    // Mean usage of pCoreUsages; 0.0 when it is empty.
    double averagePCoreUsage() const;

private:
    void sampleCPU();
    void adoptLayout(CoreLayout layout);
    bool isEfficiency(std::int64_t cpu) const;
    // Whether `current_` names other CPUs than `previous_`.
    bool cpuSetChanged() const;

    MainLoop& loop_;
    ProcessorTickSource& ticks_;
    CoreLayoutSource& layoutSource_;
    CpuList efficiencyCPUs_;
    std::int64_t pCoreCount_ = 0;
    std::int64_t eCoreCount_ = 0;
    std::int64_t totalCores_ = 0;
    // Two snapshots swapped each tick, and the lists being built, all kept
    // at the machine's size so a steady tick allocates nothing of its own.
    std::vector<ProcessorTicks> previous_;
    std::vector<ProcessorTicks> current_;
    std::vector<CoreUsage> pBuilding_;
    std::vector<CoreUsage> eBuilding_;
    bool haveBaseline_ = false;
    Timer timer_;
};

// The busy share of one CPU between two snapshots: (user + system + nice) over
// all four, each difference taken in wrapping 32-bit arithmetic, clamped to
// 0.0..1.0; 0.0 when no tick passed.
double usageBetween(const ProcessorTicks& previous, const ProcessorTicks& current);

}  // namespace korvane::app
