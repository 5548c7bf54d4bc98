// The fan panel and the per-core panel, as widgets fed with plain state.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <limits>
#include <set>

#include "app/ui/popover/core_bar_view.h"
#include "app/ui/popover/core_group_view.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/fan_control_view.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"

namespace korvane::ui {
namespace {

TEST(FanControlView, TemperatureColourBandsMeetAtFiftyAndSeventyFive) {
    EXPECT_EQ(FanControlView::temperatureColor(49.9), accent::green);
    EXPECT_EQ(FanControlView::temperatureColor(50.0), accent::orange);
    EXPECT_EQ(FanControlView::temperatureColor(74.9), accent::orange);
    EXPECT_EQ(FanControlView::temperatureColor(75.0), accent::red);

    FanControlView view({});
    FanPanelState state;
    state.cpuTemperature = 74.9;
    view.setState(state);
    EXPECT_EQ(view.temperatureLabel()->text(), "74°C");
    EXPECT_EQ(view.temperatureLabel()->palette().color(QPalette::WindowText), accent::orange);
    state.cpuTemperature = std::numeric_limits<double>::quiet_NaN();
    view.setState(state);
    EXPECT_EQ(view.temperatureLabel()->text(), "--°C");
}

TEST(FanControlView, WithoutFansShowsWhyAndNoSwitch) {
    FanControlView view({});
    FanPanelState state;
    state.isSmcConnected = false;
    view.setState(state);
    EXPECT_FALSE(view.fansBlock()->isVisibleTo(&view));
    EXPECT_FALSE(view.manualSwitch()->isVisibleTo(&view));
    EXPECT_TRUE(view.noFansLabel()->isVisibleTo(&view));
    EXPECT_EQ(view.noFansLabel()->text(), "SMC connection failed");
    EXPECT_EQ(view.noFansLabel()->palette().color(QPalette::WindowText), accent::red);

    state.isSmcConnected = true;
    state.lastReadError = "SMC read error: key not found";
    view.setState(state);
    EXPECT_EQ(view.noFansLabel()->text(), "No fans detected");
    EXPECT_TRUE(view.readErrorLabel()->isVisibleTo(&view));
}

struct SentTargets {
    std::vector<std::int64_t> rpms;
    std::vector<bool> modes;
    FanControlView::Actions actions() {
        return {[this](bool on) { modes.push_back(on); }, [this](std::int64_t rpm) { rpms.push_back(rpm); }};
    }
};

FanPanelState manualFan(std::int64_t target) {
    FanPanelState state;
    state.hasFans = state.isSmcConnected = state.isManualMode = true;
    state.minRPM = 1200;
    state.maxRPM = 6000;
    state.targetRPM = target;
    return state;
}

TEST(FanControlView, ADragSendsOneTargetWhenItEnds) {
    SentTargets sent;
    FanControlView view(sent.actions());
    view.setState(manualFan(2000));
    QSlider* slider = view.slider();
    ASSERT_TRUE(view.sliderBlock()->isVisibleTo(&view));
    EXPECT_EQ(slider->value(), 2000);

    slider->setSliderDown(true);
    Q_EMIT slider->sliderPressed();
    for (int rpm : {2500, 3100, 3700, 4321}) {
        slider->setSliderPosition(rpm);
        // The manager republishes its target meanwhile: the slider stays with the hand.
        view.setState(manualFan(2000));
    }
    EXPECT_TRUE(sent.rpms.empty());
    EXPECT_EQ(slider->value(), 4321);
    slider->setSliderDown(false);  // emits sliderReleased
    EXPECT_EQ(sent.rpms, std::vector<std::int64_t>{4321});

    // Once the drag is over, the manager's value moves the slider again, silently.
    view.setState(manualFan(5000));
    EXPECT_EQ(slider->value(), 5000);
    EXPECT_EQ(sent.rpms.size(), 1u);
    // A key step is a complete choice of its own.
    slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(sent.rpms, (std::vector<std::int64_t>{4321, 5100}));
}

TEST(FanControlView, ManualSwitchWaitsForTheManager) {
    SentTargets sent;
    FanControlView view(sent.actions());
    FanPanelState state = manualFan(3000);
    state.isManualMode = false;
    view.setState(state);
    QTest::mouseClick(view.manualSwitch(), Qt::LeftButton);
    EXPECT_EQ(sent.modes, std::vector<bool>{true});
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

TEST(CoreBarView, HeightHasAFloorAndShadesSwitchAboveTheThresholds) {
    EXPECT_DOUBLE_EQ(CoreBarView::barHeight(32, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(CoreBarView::barHeight(32, 0.5), 16.0);
    EXPECT_DOUBLE_EQ(CoreBarView::barHeight(32, 1.7), 32.0);
    EXPECT_DOUBLE_EQ(CoreBarView::barHeight(32, std::nan("")), 1.0);
    const QColor orange = accent::orange;
    EXPECT_EQ(CoreBarView::barColor(orange, 0.86).alphaF(), 1.0f);
    EXPECT_NEAR(CoreBarView::barColor(orange, 0.85).alphaF(), 0.7, 0.01);
    EXPECT_NEAR(CoreBarView::barColor(orange, 0.51).alphaF(), 0.7, 0.01);
    EXPECT_NEAR(CoreBarView::barColor(orange, 0.5).alphaF(), 0.4, 0.01);
    EXPECT_NEAR(CoreBarView::barColor(orange, 0.0).alphaF(), 0.4, 0.01);
    EXPECT_EQ(CoreBarView::barColor(orange, 0.0).rgb(), orange.rgb());
}

TEST(CoreBarView, DrawsTheBarBottomAligned) {
    CoreBarView bar(accent::orange);
    bar.resize(10, 32);
    bar.setUsage(0.5);
    const QImage image = bar.grab().toImage();
    // Upper half: only the faint track; lower half: the bar, much more orange.
    const QColor track = image.pixelColor(5, 8);
    const QColor filled = image.pixelColor(5, 24);
    EXPECT_LT(filled.blue(), track.blue() - 60);
    EXPECT_EQ(image.pixelColor(5, 15), track);
    EXPECT_EQ(bar.toolTip(), "Core: 50%");
    EXPECT_EQ(bar.accessibleName(), "CPU core at 50 percent");
}

TEST(CoreVisualizerView, GroupsShowAveragesBarsAndTheOneKindNote) {
    CoreVisualizerView view;
    view.setCoreCounts(4, 0);
    view.setPCoreUsages({{0, 0.2, true}, {1, 0.4, true}, {2, 0.999, true}, {3, 0.0, true}});
    view.setECoreUsages({});
    EXPECT_EQ(view.countsText(), "4P + 0E");
    EXPECT_EQ(view.pCoreGroup()->averageText(), "39%");
    EXPECT_EQ(view.pCoreGroup()->bars().size(), 4u);
    EXPECT_EQ(view.eCoreGroup()->averageText(), "0%");
    EXPECT_TRUE(view.eCoreGroup()->bars().empty());
    EXPECT_TRUE(view.oneKindNote()->isVisibleTo(&view));

    // Bars are kept per core id from one sample to the next.
    CoreBarView* first = view.pCoreGroup()->bars()[0];
    view.setPCoreUsages({{0, 0.9, true}, {1, 0.1, true}});
    ASSERT_EQ(view.pCoreGroup()->bars().size(), 2u);
    EXPECT_EQ(view.pCoreGroup()->bars()[0], first);
    EXPECT_DOUBLE_EQ(first->usage(), 0.9);

    view.setCoreCounts(6, 4);
    EXPECT_FALSE(view.oneKindNote()->isVisibleTo(&view));
}

// However many cores, the bars stay inside the popover's width: one row up to
// 32, two up to 64, and past that one bar per run of cores.
TEST(CoreGroupView, ManyCoresWrapIntoTwoRowsThenShareBars) {
    struct Case {
        int cores;
        std::size_t bars;
        int rows;
    };
    for (Case c : {Case{24, 24, 1}, Case{40, 40, 2}, Case{64, 64, 2}, Case{256, 64, 2}}) {
        SCOPED_TRACE(c.cores);
        CoreGroupView group(QStringLiteral("P-Cores"), "bolt.fill", QColor(255, 149, 0));
        group.setFixedWidth(272);
        std::vector<app::CoreUsage> usages;
        for (int i = 0; i < c.cores; ++i) usages.push_back({i, i < 4 ? 0.5 : 0.0, true});
        group.setUsages(usages);
        group.show();
        QApplication::processEvents();
        const auto bars = group.bars();
        ASSERT_EQ(bars.size(), c.bars);
        std::set<int> rowTops;
        for (CoreBarView* bar : bars) {
            const QRect place = bar->geometry();
            EXPECT_GE(place.width(), 3);
            EXPECT_GE(place.left(), 0);
            EXPECT_LE(place.right(), bar->parentWidget()->width());
            rowTops.insert(place.top());
        }
        EXPECT_EQ(static_cast<int>(rowTops.size()), c.rows);
    }
    CoreGroupView group(QStringLiteral("P-Cores"), "bolt.fill", QColor(255, 149, 0));
    std::vector<app::CoreUsage> usages;
    for (int i = 0; i < 256; ++i) usages.push_back({i, i < 4 ? 0.5 : 0.0, true});
    group.setUsages(usages);
    EXPECT_DOUBLE_EQ(group.bars()[0]->usage(), 0.5);
    EXPECT_EQ(group.bars()[0]->toolTip(), QStringLiteral("Cores 0–3: 50%"));
}

}  // namespace
}  // namespace korvane::ui
