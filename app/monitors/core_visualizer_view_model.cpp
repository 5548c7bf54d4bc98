#include "app/monitors/core_visualizer_view_model.h"

#include <algorithm>
#include <cmath>

namespace korvane::app {
namespace {

constexpr double kShortestInterval = 0.1;
constexpr double kDefaultInterval = 3.0;

}  // namespace

double usageBetween(const ProcessorTicks& previous, const ProcessorTicks& current) {
    // Unsigned subtraction wraps, so a counter that wrapped past 2^32 still
    // gives its true difference; one that went backwards gives a huge one,
    // which the clamp below turns into "fully busy" or "idle".
    const double user = static_cast<std::uint32_t>(current.user - previous.user);
    const double system = static_cast<std::uint32_t>(current.system - previous.system);
    const double idle = static_cast<std::uint32_t>(current.idle - previous.idle);
    const double nice = static_cast<std::uint32_t>(current.nice - previous.nice);
    const double total = ((user + system) + idle) + nice;
    if (!(total > 0.0)) return 0.0;
    const double usage = (user + system + nice) / total;
    if (!(usage > 0.0)) return 0.0;
    return usage > 1.0 ? 1.0 : usage;
}

CoreVisualizerViewModel::CoreVisualizerViewModel(Dependencies dependencies)
    : loop_(dependencies.mainLoop), ticks_(dependencies.ticks), layoutSource_(dependencies.layout) {
    CoreLayout layout = layoutSource_.currentLayout();
    pCoreCount_ = static_cast<std::int64_t>(subtractCpuLists(layout.performance, layout.efficiency).size());
    eCoreCount_ = static_cast<std::int64_t>(layout.efficiency.size());
    totalCores_ = pCoreCount_ + eCoreCount_;
    adoptLayout(std::move(layout));
}

void CoreVisualizerViewModel::startMonitoring(double intervalSeconds) {
    if (isRunning.get()) return;
    if (std::isnan(intervalSeconds) || std::isinf(intervalSeconds)) intervalSeconds = kDefaultInterval;
    intervalSeconds = std::max(intervalSeconds, kShortestInterval);
    isRunning = true;
    haveBaseline_ = false;
    // CPUs may have come or gone since the last run.
    adoptLayout(layoutSource_.currentLayout());
    sampleCPU();
    timer_ = Timer::repeating(loop_, seconds(intervalSeconds), [this] { sampleCPU(); });
}

void CoreVisualizerViewModel::stopMonitoring() {
    timer_.cancel();
    isRunning = false;
}

double CoreVisualizerViewModel::averagePCoreUsage() const {
    const auto& cores = pCoreUsages.get();
    if (cores.empty()) return 0.0;
    double sum = 0.0;
    for (const auto& core : cores) sum += core.usage;
    return sum / static_cast<double>(cores.size());
}

void CoreVisualizerViewModel::adoptLayout(CoreLayout layout) { efficiencyCPUs_ = std::move(layout.efficiency); }

bool CoreVisualizerViewModel::isEfficiency(std::int64_t cpu) const {
    return std::binary_search(efficiencyCPUs_.begin(), efficiencyCPUs_.end(), cpu,
                              [](auto a, auto b) { return static_cast<std::int64_t>(a) < static_cast<std::int64_t>(b); });
}

bool CoreVisualizerViewModel::cpuSetChanged() const {
    return !std::equal(previous_.begin(), previous_.end(), current_.begin(), current_.end(),
                       [](const ProcessorTicks& a, const ProcessorTicks& b) { return a.cpu == b.cpu; });
}

void CoreVisualizerViewModel::sampleCPU() {
    if (!ticks_.fetchTicks(current_)) return;  // keeps the baseline; nothing published
    // The source promises ascending CPU numbers; a merge below relies on it.
    if (!std::is_sorted(current_.begin(), current_.end(),
                        [](const ProcessorTicks& a, const ProcessorTicks& b) { return a.cpu < b.cpu; })) {
        std::sort(current_.begin(), current_.end(),
                  [](const ProcessorTicks& a, const ProcessorTicks& b) { return a.cpu < b.cpu; });
    }
    if (haveBaseline_ && cpuSetChanged()) adoptLayout(layoutSource_.currentLayout());

    pBuilding_.clear();
    eBuilding_.clear();
    auto place = [&](std::int64_t cpu, double usage) {
        bool efficiency = isEfficiency(cpu);
        (efficiency ? eBuilding_ : pBuilding_).push_back(CoreUsage{cpu, usage, !efficiency});
    };
    if (!haveBaseline_) {
        for (const auto& ticks : current_) place(ticks.cpu, 0.0);
    } else {
        // Only CPUs present in both snapshots are compared: one that went
        // offline has no new line, one that came online has no baseline yet.
        auto before = previous_.begin();
        for (const auto& now : current_) {
            while (before != previous_.end() && before->cpu < now.cpu) ++before;
            if (before != previous_.end() && before->cpu == now.cpu) place(now.cpu, usageBetween(*before, now));
        }
    }
    std::swap(previous_, current_);
    haveBaseline_ = true;

    std::int64_t efficiencyOnline = 0;
    for (const auto& ticks : previous_) efficiencyOnline += isEfficiency(ticks.cpu) ? 1 : 0;
    totalCores_ = static_cast<std::int64_t>(previous_.size());
    eCoreCount_ = efficiencyOnline;
    pCoreCount_ = totalCores_ - efficiencyOnline;

    pCoreUsages = pBuilding_;
    eCoreUsages = eBuilding_;
}

}  // namespace korvane::app
