// The core sampler on the virtual clock, fed scripted snapshots: the usage
// arithmetic, classification by topology, hotplug and the timer's rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "app/monitors/core_visualizer_view_model.h"
#include "testing/virtual_main_loop.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using Snapshot = std::vector<ProcessorTicks>;

ProcessorTicks ticks(std::int64_t cpu, std::uint32_t user, std::uint32_t system, std::uint32_t idle,
                     std::uint32_t nice = 0) {
    return {cpu, user, system, idle, nice};
}

// Every CPU of `cpus` with the same counters.
Snapshot uniform(const CpuList& cpus, std::uint32_t user, std::uint32_t idle) {
    Snapshot snapshot;
    for (int cpu : cpus) snapshot.push_back(ticks(cpu, user, 0, idle));
    return snapshot;
}

// Hands out `next` on every fetch; nullopt is a failed fetch.
struct ScriptedTicks final : ProcessorTickSource {
    bool fetchTicks(Snapshot& into) override {
        ++fetches;
        if (next) into = *next;
        return next.has_value();
    }
    std::optional<Snapshot> next;
    int fetches = 0;
};

struct FixedLayout final : CoreLayoutSource {
    CoreLayout currentLayout() override {
        ++reads;
        return layout;
    }
    CoreLayout layout;
    int reads = 0;
};

// Each core's id and usage, in the published order.
using Listed = std::vector<std::pair<std::int64_t, double>>;
Listed listed(const std::vector<CoreUsage>& cores) {
    Listed result;
    for (const auto& core : cores) result.emplace_back(core.id, core.usage);
    return result;
}

std::vector<std::int64_t> ids(const std::vector<CoreUsage>& cores) {
    std::vector<std::int64_t> result;
    for (const auto& core : cores) result.push_back(core.id);
    return result;
}

class CoreVisualizerTest : public ::testing::Test {
protected:
    CoreVisualizerViewModel& make(CoreLayout coreLayout) {
        layout.layout = std::move(coreLayout);
        model.emplace(CoreVisualizerViewModel::Dependencies{loop, source, layout});
        return *model;
    }

    VirtualMainLoop loop;
    ScriptedTicks source;
    FixedLayout layout;
    std::optional<CoreVisualizerViewModel> model;
};

TEST_F(CoreVisualizerTest, FirstSampleIsZeroThenDifferencesGiveTheBusyShare) {
    auto& cores = make({{0, 1, 2}, {}});
    source.next = Snapshot{ticks(0, 100, 100, 100), ticks(1, 5, 5, 5), ticks(2, 0xFFFFFFF0u, 0, 50)};
    cores.startMonitoring(3.0);
    EXPECT_EQ(listed(cores.pCoreUsages.get()), (Listed{{0, 0.0}, {1, 0.0}, {2, 0.0}}));

    // CPU 0: 30 user, 10 system, 60 idle. CPU 1: nothing happened. CPU 2:
    // its user counter wrapped past 2^32 (+32) while 32 idle ticks passed.
    source.next = Snapshot{ticks(0, 130, 110, 160), ticks(1, 5, 5, 5), ticks(2, 0x10u, 0, 82)};
    loop.advanceBy(seconds(3));
    ASSERT_EQ(cores.pCoreUsages->size(), 3u);
    EXPECT_DOUBLE_EQ(cores.pCoreUsages.get()[0].usage, 0.4);
    EXPECT_EQ(cores.pCoreUsages.get()[1].usage, 0.0);
    EXPECT_DOUBLE_EQ(cores.pCoreUsages.get()[2].usage, 0.5);
    EXPECT_DOUBLE_EQ(cores.averagePCoreUsage(), 0.3);
}

TEST_F(CoreVisualizerTest, ACounterGoingBackwardsClampsToOne) {
    // User went backwards: the wrapped difference dwarfs everything else.
    EXPECT_EQ(usageBetween(ticks(0, 1000, 0, 0), ticks(0, 500, 10, 0)), 1.0);
    double withIdle = usageBetween(ticks(0, 1000, 0, 0), ticks(0, 500, 10, 60));
    EXPECT_LE(withIdle, 1.0);
    EXPECT_GT(withIdle, 0.99);
    // Idle went backwards: it dwarfs the busy time instead.
    EXPECT_LT(usageBetween(ticks(0, 0, 0, 1000), ticks(0, 50, 0, 900)), 1e-6);
}

TEST_F(CoreVisualizerTest, CpusAreClassifiedByTopologyNotByPosition) {
    source.next = uniform({0, 1, 2, 3, 4, 5, 6, 7}, 10, 10);
    make({{0, 1, 4, 5}, {2, 3, 6, 7}}).startMonitoring(3.0);
    EXPECT_THAT(ids(model->pCoreUsages.get()), ElementsAre(0, 1, 4, 5));
    EXPECT_THAT(ids(model->eCoreUsages.get()), ElementsAre(2, 3, 6, 7));
    make({{}, {}}).startMonitoring(3.0);  // the layout could not be read: all count as performance
    EXPECT_THAT(ids(model->pCoreUsages.get()), ElementsAre(0, 1, 2, 3, 4, 5, 6, 7));
    EXPECT_TRUE(model->eCoreUsages->empty());
}

TEST_F(CoreVisualizerTest, HotplugComparesOnlyCpusPresentInBothSamples) {
    auto& cores = make({{0, 1}, {2, 3}});
    source.next = uniform({0, 1, 2, 3}, 100, 100);
    cores.startMonitoring(3.0);
    int layoutReads = layout.reads;

    // CPU 2 goes offline; CPU 3's line is now third, and must still be
    // compared with CPU 3's previous line.
    source.next = Snapshot{ticks(0, 150, 0, 150), ticks(1, 100, 0, 200), ticks(3, 200, 0, 100)};
    loop.advanceBy(seconds(3));
    EXPECT_EQ(listed(cores.pCoreUsages.get()), (Listed{{0, 0.5}, {1, 0.0}}));
    EXPECT_EQ(listed(cores.eCoreUsages.get()), (Listed{{3, 1.0}}));
    EXPECT_EQ(cores.totalCores(), 3);
    EXPECT_EQ(cores.eCoreCount(), 1);
    EXPECT_EQ(layout.reads, layoutReads + 1);

    // CPU 2 is back, and a new CPU 4 arrives as an efficiency CPU: neither
    // has a baseline yet, so both wait a tick.
    layout.layout = {{0, 1}, {2, 3, 4}};
    source.next = Snapshot{ticks(0, 150, 0, 150), ticks(1, 100, 0, 200), ticks(2, 0, 0, 0), ticks(3, 200, 0, 100),
                           ticks(4, 0, 0, 0)};
    loop.advanceBy(seconds(3));
    EXPECT_THAT(ids(cores.eCoreUsages.get()), ElementsAre(3));
    EXPECT_EQ(cores.eCoreCount(), 3);
    EXPECT_EQ(cores.totalCores(), 5);

    source.next = Snapshot{ticks(0, 150, 0, 150), ticks(1, 100, 0, 200), ticks(2, 10, 0, 10), ticks(3, 200, 0, 100),
                           ticks(4, 30, 0, 10)};
    loop.advanceBy(seconds(3));
    EXPECT_EQ(listed(cores.eCoreUsages.get()), (Listed{{2, 0.5}, {3, 0.0}, {4, 0.75}}));
}

TEST_F(CoreVisualizerTest, ASecondStartKeepsThePeriodAndARestartTakesAFreshBaseline) {
    auto& cores = make({{0}, {1}});
    source.next = uniform({0, 1}, 0, 0);
    cores.startMonitoring(3.0);
    cores.startMonitoring(2.0);
    loop.advanceBy(seconds(9));
    EXPECT_EQ(source.fetches, 4);

    cores.stopMonitoring();
    loop.advanceBy(seconds(30));
    EXPECT_EQ(source.fetches, 4);
    source.next = uniform({0, 1}, 90, 60);
    cores.startMonitoring(2.0);
    EXPECT_EQ(listed(cores.eCoreUsages.get()), (Listed{{1, 0.0}}));
    source.next = uniform({0, 1}, 120, 60);
    loop.advanceBy(seconds(2));
    EXPECT_EQ(listed(cores.eCoreUsages.get()), (Listed{{1, 1.0}}));
}

TEST_F(CoreVisualizerTest, AFailedFetchPublishesNothingAndKeepsTheBaseline) {
    auto& cores = make({{0}, {}});
    source.next = Snapshot{ticks(0, 0, 0, 0)};
    cores.startMonitoring(3.0);
    int published = 0;
    auto token = cores.pCoreUsages.observe([&](const auto&) { ++published; });
    source.next = std::nullopt;
    loop.advanceBy(seconds(3));
    EXPECT_EQ(published, 0);
    source.next = Snapshot{ticks(0, 10, 0, 30)};
    loop.advanceBy(seconds(3));
    EXPECT_EQ(published, 1);
    EXPECT_EQ(listed(cores.pCoreUsages.get()), (Listed{{0, 0.25}}));
}

TEST_F(CoreVisualizerTest, APeriodThatIsNoPositiveNumberCannotSpinTheLoop) {
    auto& cores = make({{0}, {}});
    source.next = uniform({0}, 0, 0);
    cores.startMonitoring(0.0);
    loop.advanceBy(seconds(1));
    EXPECT_EQ(source.fetches, 11);  // the baseline, then every 0.1 s
    cores.stopMonitoring();
    cores.startMonitoring(std::nan(""));
    loop.advanceBy(seconds(3));
    EXPECT_EQ(source.fetches, 13);
}

}  // namespace
}  // namespace korvane::app
