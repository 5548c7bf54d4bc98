// The fan panel and the per-core panel, as widgets fed with plain state.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <cmath>

#include "app/ui/popover/core_bar_view.h"
#include "app/ui/popover/core_group_view.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/fan_control_view.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"

namespace korvane::ui {
namespace {

FanPanelState manualFan(std::int64_t target) {
    FanPanelState state;
    state.hasFans = state.isSmcConnected = state.isManualMode = true;
    state.minRPM = 1200;
    state.maxRPM = 6000;
    state.targetRPM = target;
    return state;
}

// The bands meet at 50 and 75 °C. (An unreadable temperature: in the popover's tests.)
TEST(FanControlView, TemperatureBandsMeetAtFiftyAndSeventyFive) {
    FanControlView view({});
    FanPanelState state;
    for (auto [celsius, colour] : {std::pair{49.9, accent::green}, std::pair{50.0, accent::orange},
                                   std::pair{74.9, accent::orange}, std::pair{75.0, accent::red}}) {
        state.cpuTemperature = celsius;
        view.setState(state);
        EXPECT_EQ(view.temperatureLabel()->palette().color(QPalette::WindowText), colour) << celsius;
    }
    EXPECT_EQ(view.temperatureLabel()->text(), "75°C");
}

TEST(FanControlView, WithoutFansShowsWhyAndNoSwitch) {
    FanControlView view({});
    FanPanelState state;
    state.isSmcConnected = false;
    view.setState(state);
    EXPECT_FALSE(view.fansBlock()->isVisibleTo(&view));
    EXPECT_FALSE(view.manualSwitch()->isVisibleTo(&view));
    EXPECT_EQ(view.noFansLabel()->text(), "SMC connection failed");

    state.isSmcConnected = true;
    state.lastReadError = "SMC read error: key not found";
    view.setState(state);
    EXPECT_EQ(view.noFansLabel()->text(), "No fans detected");
    EXPECT_TRUE(view.readErrorLabel()->isVisibleTo(&view));
}

TEST(FanControlView, ADragSendsOneTargetWhenItEndsAndTheSwitchWaitsForTheManager) {
    std::vector<std::int64_t> rpms;
    std::vector<bool> modes;
    FanControlView view({[&](bool on) { modes.push_back(on); }, [&](std::int64_t rpm) { rpms.push_back(rpm); }});
    view.setState(manualFan(2000));
    QSlider* slider = view.slider();
    ASSERT_TRUE(view.sliderBlock()->isVisibleTo(&view));

    slider->setSliderDown(true);
    Q_EMIT slider->sliderPressed();
    for (int rpm : {2500, 3100, 3700, 4321}) {
        slider->setSliderPosition(rpm);
        // The manager republishes its target meanwhile: the slider stays with the hand.
        view.setState(manualFan(2000));
    }
    EXPECT_TRUE(rpms.empty());
    EXPECT_EQ(slider->value(), 4321);
    slider->setSliderDown(false);  // emits sliderReleased
    EXPECT_EQ(rpms, std::vector<std::int64_t>{4321});

    // Once the drag is over, the manager's value moves the slider again, silently.
    view.setState(manualFan(5000));
    EXPECT_EQ(slider->value(), 5000);
    // A key step is a complete choice of its own.
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(rpms, (std::vector<std::int64_t>{4321, 5100}));

    FanPanelState automatic = manualFan(3000);
    automatic.isManualMode = false;
    view.setState(automatic);
    QTest::mouseClick(view.manualSwitch(), Qt::LeftButton);
    EXPECT_EQ(modes, std::vector<bool>{true});
    EXPECT_FALSE(view.manualSwitch()->isChecked());
    EXPECT_FALSE(view.sliderBlock()->isVisibleTo(&view));
}

TEST(FanControlView, ReversedRangeStillDraws) {
    FanControlView view({});
    FanPanelState state = manualFan(3000);
    state.minRPM = 6000;
    state.maxRPM = 1200;
    view.setState(state);
    EXPECT_EQ(view.slider()->minimum(), 1200);
    EXPECT_EQ(view.slider()->maximum(), 6000);
}

// However little or wrong the usage, a bar keeps a sliver and stays in its track.
TEST(CoreBarView, HeightHasAFloorAndACeiling) {
    for (auto [usage, height] : {std::pair{0.0, 1.0}, std::pair{1.7, 32.0}, std::pair{std::nan(""), 1.0}}) {
        EXPECT_DOUBLE_EQ(CoreBarView::barHeight(32, usage), height) << usage;
    }
}

// The counts and the one-kind note are in the popover-main and cores-N
// reference renders.
TEST(CoreVisualizerView, AveragesAreTruncatedAndEachCoreKeepsItsBar) {
    CoreVisualizerView view;
    view.setCoreCounts(4, 0);
    view.setPCoreUsages({{0, 0.2, true}, {1, 0.4, true}, {2, 0.999, true}, {3, 0.0, true}});
    EXPECT_EQ(view.pCoreGroup()->averageText(), "39%");

    // Bars are kept per core id from one sample to the next.
    CoreBarView* first = view.pCoreGroup()->bars()[0];
    view.setPCoreUsages({{0, 0.9, true}, {1, 0.1, true}});
    ASSERT_EQ(view.pCoreGroup()->bars().size(), 2u);
    EXPECT_EQ(view.pCoreGroup()->bars()[0], first);
    EXPECT_DOUBLE_EQ(first->usage(), 0.9);
}

// Past 64 cores one bar stands for a run of cores, named and labelled for
// the run. (How the bars wrap at each size is in the cores-N reference renders.)
TEST(CoreGroupView, PastSixtyFourCoresABarStandsForARun) {
    CoreGroupView group(QStringLiteral("P-Cores"), "bolt.fill", QColor(255, 149, 0));
    std::vector<app::CoreUsage> usages;
    for (int i = 0; i < 256; ++i) usages.push_back({i, i < 4 ? 0.5 : 0.0, true});
    group.setUsages(usages);
    ASSERT_EQ(group.bars().size(), 64u);
    CoreBarView* first = group.bars()[0];
    EXPECT_DOUBLE_EQ(first->usage(), 0.5);
    EXPECT_EQ(first->toolTip(), QStringLiteral("Cores 0–3: 50%"));
    EXPECT_EQ(first->accessibleName(), QStringLiteral("CPU cores 0 to 3"));
}

}  // namespace
}  // namespace korvane::ui
