#pragma once
// The popover over the real managers, wired as the application wires them:
// a fake desktop, a fixture hwmon tree, scripted CPU ticks, desktop entries in a
// fixture folder and XPCManager talking to an in-process daemon over a real
// socket, all on a virtual clock. The widgets draw offscreen.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/focus/ecore_jail_manager.h"
#include "app/monitors/core_visualizer_view_model.h"
#include "app/monitors/fan_manager.h"
#include "app/ui/popover/content_view.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "platform/linux/identity/desktop_bundle_reader.h"
#include "shared/smc/smc_bridge.h"
#include "tests/focus/focus_world.h"
#include "tests/hwmon/hwmon_tree.h"
#include "tests/shell/scripted_machine.h"

namespace korvane::testing {

class PopoverWorld : public FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        sysfs.addAppleSMC();
        SMCBridge::setDriver(std::make_shared<linux_platform::HwmonSMCDriver>(sysfs.root()));
        workspace.add(FakeWorkspace::regular(101, "Blender", "org.blender.Blender"));
        workspace.add(FakeWorkspace::regular(102, "Firefox", "firefox-esr"));
        workspace.add(FakeWorkspace::regular(103, "Terminal", "xterm"));
        start();
        jail = std::make_shared<app::ECoreJailManager>(app::ECoreJailManager::Dependencies{
            .mainLoop = loop, .settings = settings, .bundles = bundles, .xpcManager = xpc});
        fan.emplace(app::FanManager::Dependencies{loop, *xpc});
        cores.emplace(app::CoreVisualizerViewModel::Dependencies{loop, ticks, layout});
        settle();
    }

    void TearDown() override {
        view.reset();
        fan.reset();
        SMCBridge::setDriver(nullptr);
    }

    ui::ContentView& makeView() {
        view = std::make_unique<ui::ContentView>(
            ui::PopoverManagers{*appManager, *xpc, *autoFocus, *autoTrigger, *notifications, *cores, *fan, *jail},
            ui::PopoverHooks{loop, [this] { ++popoverCloses; }, [] {},
                             [this] { ++installs; }, [this] { ++removals; }});
        return *view;
    }

    // Lets the main loop and Qt's events run until nothing is left.
    void pump() {
        settle();
        QApplication::processEvents();
        settle();
    }

    // Shown at its natural height, after one core sample.
    ui::ContentView& shownView() {
        auto& popover = makeView();
        popover.show();
        pump();
        loop.advanceBy(std::chrono::seconds(2));
        pump();
        popover.resize(ui::ContentView::kWidth, popover.naturalHeight());
        QApplication::processEvents();
        return popover;
    }

    // At `height` (at most its natural one) nothing reaches past the right
    // edge or is squeezed under its neighbour, and no scroll bar shows
    // inside another.
    static void expectFits(ui::ContentView& popover, int height = QWIDGETSIZE_MAX) {
        popover.resize(ui::ContentView::kWidth, std::min(height, popover.naturalHeight()));
        QApplication::processEvents();
        int scrollBars = 0;
        for (QWidget* widget : popover.findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            SCOPED_TRACE(widget->metaObject()->className() + std::string(" ") + widget->objectName().toStdString());
            EXPECT_LE(widget->mapTo(&popover, QPoint(widget->width() - 1, 0)).x(), ui::ContentView::kWidth - 1);
            if (qobject_cast<QPushButton*>(widget) || qobject_cast<QLabel*>(widget)) {
                EXPECT_GE(widget->width(), widget->minimumSizeHint().width());
            }
            scrollBars += qobject_cast<QScrollBar*>(widget) != nullptr;
        }
        EXPECT_LE(scrollBars, 1);
    }

    FixtureTree entries;
    app::DesktopBundleReader bundles{{.dataFolders = {entries.root()}, .locale = "C"}};
    HwmonTree sysfs;
    SteadyTicks ticks{4};
    FixedCores layout;
    std::shared_ptr<app::ECoreJailManager> jail;
    std::optional<app::FanManager> fan;
    std::optional<app::CoreVisualizerViewModel> cores;
    std::unique_ptr<ui::ContentView> view;

    int popoverCloses = 0;
    int installs = 0;
    int removals = 0;
};

}  // namespace korvane::testing
