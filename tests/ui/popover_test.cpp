// The popover over the real managers: what it shows for each state of the
// helper and of focus, and what its controls make the managers do.
#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <set>

#include "app/ui/popover/app_list.h"
#include "app/ui/popover/application_picker.h"
#include "app/ui/popover/core_bar_view.h"
#include "app/ui/popover/app_row.h"
#include "app/ui/popover/ecore_jail_view.h"
#include "app/ui/popover/fan_control_view.h"
#include "app/ui/popover/list_window_slot.h"
#include "app/ui/popover/row_button.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "tests/ui/popover_world.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

class PopoverTest : public PopoverWorld {
protected:
    void writeHelperFiles() {
        folder.write(xpc->helperExecutablePath().substr(folder.root().size() + 1), "");
        folder.write(xpc->helperServiceFilePath().substr(folder.root().size() + 1), "");
    }

    // Shows the popover and turns focus on for the application of row `row`.
    ui::ContentView& focusedOnRow(std::size_t row) {
        auto& popover = shownView();
        QTest::mouseClick(popover.appRows()[row], Qt::LeftButton);
        popover.focusButton()->click();
        pump();
        return popover;
    }
};

bool shown(QWidget* widget) { return widget->isVisibleTo(widget->window()); }

// Which body each state of the helper shows is in the reference renders;
// here what they cannot show: while an installation runs no second can
// start, and its failure shows in red, once. What the desktop keeps from
// Korvane (GNOME without Korvane's extension) shows above the list until it
// can be followed again.
TEST_F(PopoverTest, AnInstallationRunsOnceAndWhatTheDesktopKeepsIsSaid) {
    auto& popover = makeView();
    xpc->helperInstalled = false;
    xpc->isProcessing = true;
    EXPECT_FALSE(popover.installButton()->isEnabled());
    xpc->isProcessing = false;
    xpc->lastError = std::string("Installation cancelled by user.");
    EXPECT_TRUE(shown(popover.findChild<QLabel*>("setupError")));
    EXPECT_FALSE(shown(popover.findChild<QLabel*>("footerError")));
    popover.installButton()->click();
    EXPECT_EQ(installs, 1);

    auto* note = popover.findChild<QLabel*>("workspaceNote");
    for (const std::string blindSpot : {"the extension is off", ""}) {
        workspace.setBlindSpot(blindSpot);
        pump();
        EXPECT_EQ(note->isVisibleTo(popover.mainContent()), !blindSpot.empty());
        EXPECT_EQ(note->text().toStdString(), blindSpot);
    }
}

// Focus Now and Release Focus themselves are clicked on a real desktop
// (shell_e2e_popover_focus), the rows' marks are in the popover-focused
// render; here what neither looks at.
TEST_F(PopoverTest, RowsAreFrozenWhileFocusIsOn) {
    auto& popover = focusedOnRow(0);
    const std::int32_t chosen = appManager->focusApp.get()->id;
    QTest::mouseClick(popover.appRows()[2], Qt::LeftButton);
    EXPECT_EQ(appManager->focusApp.get()->id, chosen);
}

TEST_F(PopoverTest, FocusNowWithTheHelperDownStaysOffAndSaysWhy) {
    auto& popover = shownView();
    served.stop();
    QTest::mouseClick(popover.appRows()[0], Qt::LeftButton);
    popover.focusButton()->click();
    pump();
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_FALSE(shown(popover.releaseButton()));
    EXPECT_TRUE(shown(popover.helperInactiveSection()));
    // The "not responding" card says why, once.
    EXPECT_FALSE(shown(popover.findChild<QLabel*>("footerError")));
    auto* why = popover.helperInactiveSection()->findChild<QLabel*>("inactiveError");
    EXPECT_TRUE(shown(why) && !why->text().isEmpty());
}

TEST_F(PopoverTest, OpeningAsksTheHelperAndAHelperBackByItselfIsSeenWithinFiveSeconds) {
    auto& popover = makeView();
    served.stop();  // died since the last call: nothing has noticed yet
    ASSERT_TRUE(xpc->helperActive.get());
    popover.show();
    pump();
    EXPECT_FALSE(shown(popover.mainContent()));
    EXPECT_NE(popover.findChild<QLabel*>("daemonStatus")->text(), "Daemon Active");

    // Long gone: the client's own watch for its return may have given up.
    loop.advanceBy(app::XPCManager::kReturnWatchSpan + 1min);
    pump();
    served.restart();
    ASSERT_TRUE(served.listening);
    // Whichever finds it first, the popover's recheck or the client's own
    // watch, the popover shows the helper. A check already under way when it
    // returned may still fail; the next recheck, five seconds on, sees it.
    const auto seen = [&] { return xpc->helperActive.get() && xpc->helperInstalled.get(); };
    for (int recheck = 0; recheck < 2 && !seen(); ++recheck) {
        loop.advanceBy(ui::ContentView::kHealthRecheck);
        loop.runUntil(seen, std::chrono::seconds(5));
    }
    ASSERT_TRUE(seen());
    pump();
    EXPECT_TRUE(shown(popover.mainContent()));
    EXPECT_EQ(popover.findChild<QLabel*>("daemonStatus")->text(), "Daemon Active");
}

TEST_F(PopoverTest, RemovingTheDaemonAsksOnceThenReleasesFocusFirst) {
    auto& popover = focusedOnRow(0);
    popover.removeDaemonButton()->click();
    ASSERT_TRUE(shown(popover.removeConfirmation()));
    EXPECT_TRUE(popover.findChild<QLabel*>("removeQuestion")->text().contains("2 throttled processes"));
    popover.cancelRemoveButton()->click();
    pump();
    EXPECT_FALSE(shown(popover.removeConfirmation()));
    EXPECT_EQ(removals, 0);
    EXPECT_TRUE(appManager->isFocusModeActive.get());

    popover.removeDaemonButton()->click();
    popover.confirmRemoveButton()->click();
    EXPECT_EQ(removals, 0);
    pump();
    EXPECT_EQ(removals, 1);
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_TRUE(xpc->throttledPIDs->empty());

    // With focus off it goes as soon as it is confirmed.
    popover.removeDaemonButton()->click();
    EXPECT_EQ(removals, 1);
    popover.confirmRemoveButton()->click();
    EXPECT_EQ(removals, 2);
}

// With the keyboard alone: Tab from the opened popover visits every control
// once, top to bottom, each showing a mark while it has the focus; Space
// chooses an application and focuses it.
TEST_F(PopoverTest, TheKeyboardAloneReachesEveryControlTopToBottomEachMarked) {
    autoFocus->isEnabled = true;  // a switch that is on must show its mark too
    auto& popover = shownView();
    QApplication::setActiveWindow(&popover);
    auto tab = [&] {
        QTest::keyClick(popover.focusWidget() ? popover.focusWidget() : &popover, Qt::Key_Tab);
        return popover.focusWidget();
    };
    std::vector<QWidget*> visited;
    for (QWidget* stop = tab(); stop && (visited.empty() || stop != visited.front()) && visited.size() < 60;
         stop = tab()) {
        visited.push_back(stop);
    }
    std::set<QWidget*> controls;
    for (QWidget* widget : popover.findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()) controls.insert(widget);
    }
    EXPECT_EQ(visited.size(), controls.size());
    EXPECT_EQ(std::set<QWidget*>(visited.begin(), visited.end()), controls);

    int above = 0;
    for (QWidget* stop : visited) {
        SCOPED_TRACE(stop->objectName().toStdString() + " " + stop->accessibleName().toStdString());
        const int middle = stop->mapTo(&popover, stop->rect().center()).y();
        EXPECT_GE(middle, above - 2);
        above = middle;
        stop->setFocus(Qt::TabFocusReason);
        const QImage marked = stop->grab().toImage();
        popover.setFocus();
        EXPECT_NE(marked, stop->grab().toImage()) << "no focus mark";
    }

    popover.setFocus();
    while (tab() != popover.appRows()[1]) {}
    QTest::keyClick(popover.appRows()[1], Qt::Key_Space);
    ASSERT_TRUE(appManager->focusApp.get());
    EXPECT_EQ(appManager->focusApp.get()->id, 102);
    while (tab() != popover.focusButton()) {}
    QTest::keyClick(popover.focusButton(), Qt::Key_Space);
    pump();
    EXPECT_TRUE(appManager->isFocusModeActive.get());
}

// Each list window opens once, after the popover closed, above the other
// windows for a moment; Escape and Ctrl+W close it.
TEST_F(PopoverTest, AListWindowOpensOnceAfterThePopoverClosesAndTheKeyboardClosesIt) {
    auto& popover = makeView();
    std::set<QWidget*> windows;
    for (auto [row, slot] : {std::pair{popover.autoFocusTargetsRow(), &popover.autoFocusWindow()},
                             std::pair{popover.autoTriggerRow(), &popover.autoTriggerWindow()},
                             std::pair{popover.jailRow(), &popover.jailWindow()}}) {
        popoverCloses = 0;
        row->click();
        row->click();  // a second press on the way makes no second window
        EXPECT_EQ(popoverCloses, 1);
        EXPECT_EQ(slot->window(), nullptr);
        loop.advanceBy(ui::ListWindowSlot::kOpenDelay);
        QWidget* window = slot->window();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(windows.insert(window).second) << "each list has a window of its own";
        EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
        loop.advanceBy(ui::ListWindowSlot::kFloatingTime);
        EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
        row->click();  // brought forward, not made again
        loop.advanceBy(1s);
        EXPECT_EQ(slot->window(), window);
        EXPECT_EQ(popoverCloses, 1);

        for (QKeyCombination keys :
             {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
            row->click();
            loop.advanceBy(1s);
            QWidget* open = slot->window();
            ASSERT_TRUE(open && open->isVisible());
            QApplication::setActiveWindow(open);
            QTest::keyClick(open->focusWidget() ? open->focusWidget() : open, keys.key(), keys.keyboardModifiers());
            EXPECT_FALSE(open->isVisible()) << open->windowTitle().toStdString();
        }
    }
}

TEST_F(PopoverTest, ShowingAndHidingSwitchesFanPollingAndTheNewAppObserver) {
    auto& popover = focusedOnRow(0);
    EXPECT_EQ(fan->pollingInterval(), 3.0);
    EXPECT_TRUE(popover.observingNewApps());
    EXPECT_TRUE(cores->isRunning.get());
    workspace.launch(FakeWorkspace::regular(104, "Late", "late"));
    pump();
    EXPECT_THAT(daemon.commands(), ::testing::Contains("throttle 104"));

    popover.hide();
    EXPECT_EQ(fan->pollingInterval(), 15.0);
    EXPECT_FALSE(popover.observingNewApps());
    workspace.launch(FakeWorkspace::regular(105, "Later", "later"));
    pump();
    EXPECT_THAT(daemon.commands(), ::testing::Not(::testing::Contains("throttle 105")));
}

TEST_F(PopoverTest, RetryPingsAgainAfterAPauseAndReinstallInstallsAfterRemoving) {
    writeHelperFiles();
    daemon.fail("ping", std::nullopt);
    xpc->helperActive = false;
    auto& popover = makeView();
    ASSERT_TRUE(shown(popover.helperInactiveSection()));

    popover.retryButton()->click();
    // The first ping's refusal arrives; the status check finds the files.
    ASSERT_TRUE(loop.runUntil([&] { return logLines.contains("Korvane: Daemon dosyaları var ama çalışmıyor."); }));
    loop.runPending();
    EXPECT_TRUE(xpc->isProcessing.get());
    EXPECT_FALSE(popover.retryButton()->isEnabled());
    EXPECT_FALSE(popover.reinstallButton()->isEnabled());
    daemon.clearFailures();
    loop.advanceBy(ui::HelperNotRespondingCard::kRetryPause);
    ASSERT_TRUE(loop.runUntil([&] { return !xpc->isProcessing.get(); }));
    EXPECT_TRUE(xpc->helperActive.get());
    EXPECT_TRUE(shown(popover.mainContent()));

    // Reinstall removes, then installs half a second later.
    xpc->helperActive = false;
    popover.reinstallButton()->click();
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(installs, 0);
    loop.advanceBy(ui::HelperNotRespondingCard::kReinstallPause);
    EXPECT_EQ(installs, 1);
}

TEST_F(PopoverTest, ListWindowsEditTheManagersLists) {
    auto& popover = makeView();
    autoTrigger->addApp("Blender", "org.blender.Blender");
    popover.autoTriggerRow()->click();
    loop.advanceBy(150ms);
    auto* list = popover.autoTriggerWindow().window()->findChild<ui::AppList*>();
    ASSERT_NE(list, nullptr);
    list->removeButtons()[0]->click();
    EXPECT_TRUE(autoTrigger->triggerApps->empty());
    EXPECT_TRUE(shown(list->emptyState()));

    const std::string entry = entries.write("applications/org.gnome.Calculator.desktop",
                                            "[Desktop Entry]\nType=Application\nName=Calculator\n");
    jail->addApp(entry);
    jail->isEnabled = false;
    settle();
    popover.jailRow()->click();
    loop.advanceBy(150ms);
    auto* jailView = popover.jailWindow().window()->findChild<ui::ECoreJailView*>();
    ASSERT_NE(jailView, nullptr);
    EXPECT_EQ(jailView->list()->rowCount(), 1);
    // A release frees every process the helper holds: never while focus holds some.
    appManager->isFocusModeActive = true;
    EXPECT_FALSE(jailView->releaseButton()->isEnabled());
    appManager->isFocusModeActive = false;
    jailView->releaseButton()->click();
    EXPECT_TRUE(loop.runUntil([&] { return jail->confinedReleased.get(); }));
    jailView->enabledSwitch()->click();
    settle();
    EXPECT_TRUE(jail->isEnabled.get());
    EXPECT_DOUBLE_EQ(jailView->list()->rowOpacity(), 1.0);
}

TEST_F(PopoverTest, WithNoReadableTemperatureTheFanPanelSaysItIsUnknown) {
    sysfs.remove("class/hwmon/hwmon0/temp2_input");
    auto& popover = shownView();
    loop.advanceBy(3s);  // the open popover's first poll
    pump();
    ASSERT_EQ(fan->cpuTemperature.get(), 0.0f);
    auto* temperature = popover.fanControl()->findChild<QLabel*>("temperature");
    EXPECT_EQ(temperature->text(), "--°C");
    // Grey, not the green of the last reading.
    EXPECT_EQ(temperature->palette().color(QPalette::WindowText), ui::secondaryText(popover.fanControl()->palette()));
    EXPECT_TRUE(shown(popover.fanControl()->findChild<QLabel*>("temperatureUnknown")));
}

// What a screen reader finds: every control a user can act on in every window
// has a name; switches are check boxes that say whether they are on; a core
// bar is a level with its value. (The first-run windows, Throttled Now and
// About Korvane are walked over AT-SPI by the desktop tests.)
TEST_F(PopoverTest, EveryControlOfEveryWindowHasAnAccessibleName) {
    auto& popover = shownView();
    autoTrigger->addApp("Blender", "org.blender.Blender");
    jail->addApp(entries.write("applications/org.gnome.Calculator.desktop",
                               "[Desktop Entry]\nType=Application\nName=Calculator\n"));
    settle();
    for (ui::RowButton* row : {popover.autoTriggerRow(), popover.autoFocusTargetsRow(), popover.jailRow()}) {
        row->click();
        loop.advanceBy(150ms);
    }
    ui::ApplicationPicker picker({QString::fromStdString(entries.root())});

    std::vector<QWidget*> windows = {&popover, popover.autoTriggerWindow().window(), popover.autoFocusWindow().window(),
                                     popover.jailWindow().window(), &picker};
    int controls = 0;
    for (QWidget* window : windows) {
        ASSERT_NE(window, nullptr);
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            // Scroll bars and headers belong to their views; a line edit's clear button to it.
            const bool actionable = (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QAbstractSlider*>(widget) ||
                                     qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractItemView*>(widget)) &&
                                    !qobject_cast<QScrollBar*>(widget) && !qobject_cast<QHeaderView*>(widget) &&
                                    !qobject_cast<QLineEdit*>(widget->parentWidget());
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            ASSERT_NE(accessible, nullptr);
            const QString name = accessible->text(QAccessible::Name);
            SCOPED_TRACE(window->metaObject()->className() + std::string(" ") + widget->metaObject()->className() +
                         " " + widget->objectName().toStdString());
            if (actionable) {
                ++controls;
                EXPECT_FALSE(name.trimmed().isEmpty()) << "a control without a name";
            }
            if (auto* toggle = qobject_cast<ui::ToggleSwitch*>(widget)) {
                EXPECT_EQ(accessible->role(), QAccessible::CheckBox);
                EXPECT_EQ(accessible->state().checked, toggle->isChecked());
            }
            if (auto* bar = qobject_cast<ui::CoreBarView*>(widget)) {
                EXPECT_EQ(accessible->role(), QAccessible::ProgressBar);
                ASSERT_NE(accessible->valueInterface(), nullptr);
                EXPECT_EQ(accessible->valueInterface()->currentValue().toInt(), qRound(bar->usage() * 100));
                EXPECT_TRUE(name.startsWith("CPU core")) << name.toStdString();
                EXPECT_TRUE(accessible->text(QAccessible::Description).endsWith("percent busy"));
            }
        }
    }
    EXPECT_GT(controls, 30);

    // Pressing a switch through its accessible action is a click: the manager hears of it.
    QAccessibleInterface* autoFocusSwitch = QAccessible::queryAccessibleInterface(popover.autoFocusSwitch());
    autoFocusSwitch->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(autoFocus->isEnabled.get());
    EXPECT_TRUE(autoFocusSwitch->state().checked);
}

}  // namespace
}  // namespace korvane::testing
