// StatusBarController in virtual time, with the real settings store on a
// private folder and a recording tray item: its two looks, the title rules,
// the 1 s debounce of samples, the 5 % image cache and the 500 ms throttle
// of setting changes. (The focused look's tooltip on a real tray: the
// Wayland desktop test.)
#include <gtest/gtest.h>

#include <filesystem>

#include "shared/util/atomic_file.h"
#include "app/shell/heatmap_icon_manager.h"
#include "app/shell/status_bar_controller.h"
#include "app/shell/symbol_image.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/shell/fake_status_item.h"
#include "tests/shell/core_list.h"

namespace korvane::app {
namespace {

class StatusBarControllerTest : public ::testing::Test {
protected:
    StatusBarControllerTest() {
        settings.registerDefaults({{"showHeatmapInMenuBar", true}});
        pCores = testing::coreList({0.1, 0.2, 0.3, 0.4});
        eCores = testing::coreList({0.05, 0.05}, false);
    }

    StatusBarSources sources() {
        return StatusBarSources{Binding<bool>::of(autoFocusActive),
                                Binding<std::optional<AppIcon>>::of(focusedAppIcon),
                                Binding<std::string>::of(focusedAppName),
                                Binding<std::vector<CoreUsage>>::of(pCores),
                                [this] { return eCores; },
                                [this] { return average; },
                                [this](double) { monitoring = true; },
                                [this] { monitoring = false; }};
    }

    void start() {
        controller = std::make_unique<StatusBarController>(item, sources(), settings, loop);
        loop.runPending();
    }

    void focus(const std::string& name, double load) {
        average = load;
        focusedAppName = name;
        focusedAppIcon = AppIcon{"/nonexistent/" + name + ".png", 2, 1, {0xFFFF0000u, 0xFF00FF00u}};
        autoFocusActive = true;
    }

    // Writes the settings file the way another program would.
    void editFileFromOutside(bool heatmap) {
        ASSERT_TRUE(writeFileAtomically(settings.filePath(),
                                        std::string(R"({"showHeatmapInMenuBar": )") + (heatmap ? "true" : "false") + "}"));
    }

    bool showsSymbol() const { return dynamic_cast<const SymbolImage*>(item.image().get()) != nullptr; }
    bool showsHeatmap() const { return dynamic_cast<const HeatmapImage*>(item.image().get()) != nullptr; }

    log::CapturedLines logLines;
    testing::FixtureTree folder;
    VirtualMainLoop loop;
    SettingsStore settings{loop, folder.root()};
    Published<bool> autoFocusActive{false};
    Published<std::optional<AppIcon>> focusedAppIcon;
    Published<std::string> focusedAppName;
    Published<std::vector<CoreUsage>> pCores;
    std::vector<CoreUsage> eCores;
    double average = 0.0;
    bool monitoring = false;
    testing::FakeStatusItem item;
    std::unique_ptr<StatusBarController> controller;
};

TEST_F(StatusBarControllerTest, StartsSamplingAndShowsTheIdleHeatmapTheSymbolOrAFocusUnderWay) {
    start();
    EXPECT_TRUE(monitoring);
    ASSERT_TRUE(showsHeatmap());
    EXPECT_EQ(dynamic_cast<const HeatmapImage*>(item.image().get())->usages(), (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.05, 0.05}));  // P-cores first

    controller.reset();
    settings.setBool("showHeatmapInMenuBar", false);
    start();
    EXPECT_TRUE(showsSymbol());

    // A focus under way at construction shows at once.
    controller.reset();
    focus("Firefox", 0.5);
    start();
    EXPECT_EQ(item.title(), " 50%");
    EXPECT_EQ(item.imagePosition, ImagePosition::imageLeft);
}

TEST_F(StatusBarControllerTest, FocusedLookShowsTruncatedPercentageAndTooltip) {
    start();
    focus("Firefox", 0.999);
    EXPECT_EQ(item.title(), " 99%");
    EXPECT_TRUE(showsHeatmap());  // the heatmap setting keeps the heatmap

    // Without the heatmap, the focused application's own icon.
    settings.setBool("showHeatmapInMenuBar", false);
    loop.runPending();
    auto* picture = dynamic_cast<const PictureImage*>(item.image().get());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->picture().pixel(0, 0), 0xFFFF0000u);

    // A title is set only when the integer percentage changes.
    const auto titlesBefore = item.titles.size();
    average = 0.9951;
    pCores = testing::coreList({0.9, 0.9, 0.9, 0.9});
    loop.advanceBy(seconds(1.0));
    EXPECT_EQ(item.titles.size(), titlesBefore);
    average = 0.37;
    pCores = testing::coreList({0.3, 0.3, 0.3, 0.3});
    loop.advanceBy(seconds(1.0));
    EXPECT_EQ(item.title(), " 37%");

    // Another application at the same load: the tooltip names it.
    focus("Blender", 0.37);
    EXPECT_EQ(item.toolTip, "Korvane — Blender · P-cores 37%");
}

TEST_F(StatusBarControllerTest, EndingFocusRemovesTheTitleAndTheNextFocusShowsAFreshOne) {
    start();
    focus("Firefox", 0.42);
    EXPECT_EQ(item.title(), " 42%");
    autoFocusActive = false;
    EXPECT_EQ(item.title(), "");
    EXPECT_EQ(item.imagePosition, ImagePosition::imageOnly);
    EXPECT_EQ(item.toolTip, "Korvane");

    item.titles.clear();
    focus("Firefox", 0.42);
    ASSERT_FALSE(item.titles.empty());
    EXPECT_EQ(item.titles.back(), " 42%");

    // Active without an icon counts as idle.
    focusedAppIcon = std::nullopt;
    EXPECT_EQ(item.title(), "");
}

TEST_F(StatusBarControllerTest, SamplesRedrawOneSecondAfterTheLastAndSmallMovesKeepTheSameImage) {
    start();
    const TrayImagePtr first = item.image();
    pCores = testing::coreList({0.9, 0.9, 0.9, 0.9});
    loop.advanceBy(seconds(0.9));
    pCores = testing::coreList({0.8, 0.8, 0.8, 0.8});  // restarts the wait
    loop.advanceBy(seconds(0.9));
    EXPECT_EQ(item.image(), first);
    loop.advanceBy(seconds(0.1));
    const TrayImagePtr second = item.image();
    EXPECT_NE(second, first);
    EXPECT_EQ(dynamic_cast<const HeatmapImage*>(second.get())->usages()[0], 0.8);

    // Moves inside each core's 5 % step: the very same image object.
    pCores = testing::coreList({0.81, 0.84, 0.8499, 0.8});
    loop.advanceBy(seconds(1.0));
    EXPECT_EQ(item.image(), second);
    // One core into the next step: a new one.
    pCores = testing::coreList({0.81, 0.85, 0.8, 0.8});
    loop.advanceBy(seconds(1.0));
    EXPECT_NE(item.image(), second);
}

TEST_F(StatusBarControllerTest, QuantisationCopesWithAnySample) {
    EXPECT_EQ(StatusBarController::quantize(testing::coreList({0.0, 0.049, 0.05, 0.999, 1.0}), testing::coreList({0.5}, false)),
              (std::vector<int>{0, 0, 1, 19, 20, 10}));
    EXPECT_EQ(StatusBarController::quantize(testing::coreList({std::nan(""), -1.0, 7.0, INFINITY}), {}),
              (std::vector<int>{0, 0, 20, 0}));
}

TEST_F(StatusBarControllerTest, ASettingFlippedFromOutsideSwitchesWithinHalfASecond) {
    start();
    ASSERT_TRUE(showsHeatmap());
    editFileFromOutside(false);
    // The watcher reports from its own thread; the first change of a quiet
    // period is delivered at once.
    ASSERT_TRUE(loop.runUntil([&] { return showsSymbol(); }, std::chrono::seconds(5)));

    // A change back inside the 500 ms window waits for the window's end.
    editFileFromOutside(true);
    ASSERT_TRUE(loop.runUntil([&] { return settings.boolValue("showHeatmapInMenuBar"); }, std::chrono::seconds(5)));
    EXPECT_TRUE(showsSymbol());
    loop.advanceBy(std::chrono::milliseconds(500));
    EXPECT_TRUE(showsHeatmap());

    // Other settings cost a read and change nothing.
    loop.advanceBy(seconds(1));  // lets the first sample's redraw pass
    const int sets = item.imageSets;
    settings.setBool("AutoFocusEnabled", true);
    loop.advanceBy(seconds(1));
    EXPECT_EQ(item.imageSets, sets);
}

TEST_F(StatusBarControllerTest, StoppingEndsSamplingAndEveryObservation) {
    start();
    controller->stopMonitoringAndUnsubscribe();
    EXPECT_FALSE(monitoring);
    const int sets = item.imageSets;
    pCores = testing::coreList({1, 1, 1, 1});
    focus("Firefox", 0.5);
    settings.setBool("showHeatmapInMenuBar", false);
    loop.advanceBy(seconds(2));
    EXPECT_EQ(item.imageSets, sets);
    EXPECT_EQ(item.title(), "");
}

}  // namespace
}  // namespace korvane::app
