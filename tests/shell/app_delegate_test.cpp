// The delegate's launch states on real settings files: the agreement, then
// setup, then running; nothing of the running application exists before.
#include <gtest/gtest.h>

#include <QMenu>
#include <QPushButton>

#include "app/shell/app_delegate.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/mainloop/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/shell/fake_status_item.h"
#include "tests/shell/qt_test_support.h"

namespace korvane::app {
namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { testing::offscreenApplication(); }

    void launch() {
        AppDelegate::Environment environment{loop, settings, connector, folder.root(),
                                             [this] {
                                                 ++statusItemsMade;
                                                 auto item = std::make_unique<testing::FakeStatusItem>();
                                                 item->geometry = QRect(700, 0, 22, 22);
                                                 statusItem = item.get();
                                                 return item;
                                             },
                                             [this] { ++terminations; }};
        environment.interimStatusBarSources = [this] {
            auto sources = StatusBarSources::idle();
            sources.stopMonitoring = [this] { ++monitoringStops; };
            return sources;
        };
        delegate = std::make_unique<AppDelegate>(std::move(environment));
        delegate->applicationDidFinishLaunching();
        settle();
    }

    void settle() {
        loop.runPending();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    static void clickTheButton(QWidget* window) {
        auto buttons = window->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 1);
        buttons.front()->click();
    }

    void expectNothingRunning() const {
        EXPECT_FALSE(delegate->bootstrapped());
        EXPECT_EQ(delegate->xpcManager(), nullptr);  // no daemon status check either
        EXPECT_EQ(delegate->statusItem(), nullptr);
        EXPECT_EQ(delegate->statusBarController(), nullptr);
        EXPECT_EQ(statusItemsMade, 0);
    }

    void expectRunning() const {
        EXPECT_TRUE(delegate->bootstrapped());
        EXPECT_NE(delegate->xpcManager(), nullptr);
        EXPECT_NE(delegate->statusItem(), nullptr);
        EXPECT_NE(delegate->statusBarController(), nullptr);
        EXPECT_EQ(statusItemsMade, 1);
        EXPECT_EQ(delegate->eulaWindow(), nullptr);
        EXPECT_EQ(delegate->onboardingWindow(), nullptr);
    }

    log::CapturedLines logLines;
    testing::FixtureTree folder;
    VirtualMainLoop loop;
    SettingsStore settings{loop, folder.root()};
    linux_platform::SocketHelperConnector connector{folder.path("no-helper.sock")};
    int statusItemsMade = 0;
    int terminations = 0;
    int monitoringStops = 0;
    testing::FakeStatusItem* statusItem = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, AFirstLaunchShowsOnlyTheAgreementAndClosingItQuits) {
    launch();
    expectNothingRunning();
    FirstRunWindow* eula = delegate->eulaWindow();
    ASSERT_NE(eula, nullptr);
    EXPECT_TRUE(eula->isVisible());
    EXPECT_EQ(eula->windowTitle(), "Korvane");
    EXPECT_EQ(eula->size(), QSize(450, 350));
    EXPECT_TRUE(eula->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(eula->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(delegate->onboardingWindow(), nullptr);

    eula->close();
    settle();
    EXPECT_EQ(terminations, 1);
    expectNothingRunning();
}

TEST_F(AppDelegateTest, AcceptingLeadsToSetupWhichCannotBeClosedAndThenToRunning) {
    launch();
    clickTheButton(delegate->eulaWindow());
    settle();
    EXPECT_TRUE(settings.boolValue("hasAcceptedEULAv2"));
    EXPECT_EQ(terminations, 0);  // the agreement window closed after acceptance
    EXPECT_EQ(delegate->eulaWindow(), nullptr);
    expectNothingRunning();

    FirstRunWindow* setup = delegate->onboardingWindow();
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->windowTitle(), "Korvane Setup");
    EXPECT_EQ(setup->size(), QSize(580, 520));
    EXPECT_FALSE(setup->windowFlags() & Qt::WindowCloseButtonHint);
    setup->close();
    settle();
    EXPECT_TRUE(setup->isVisible());
    EXPECT_EQ(terminations, 0);

    clickTheButton(setup);
    settle();
    EXPECT_TRUE(settings.boolValue("hasCompletedOnboarding"));
    expectRunning();
}

TEST_F(AppDelegateTest, AcceptingAfterAnEarlierSetupGoesStraightToRunning) {
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    clickTheButton(delegate->eulaWindow());
    settle();
    expectRunning();
}

TEST_F(AppDelegateTest, BothSettingsGoStraightToRunningWithTheTrayAndItsMenu) {
    settings.setBool("hasAcceptedEULAv2", true);
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    expectRunning();
    ASSERT_NE(statusItem->contextMenu, nullptr);
    QStringList labels;
    for (auto* action : statusItem->contextMenu->actions()) {
        if (!action->isSeparator()) labels << action->text();
    }
    EXPECT_EQ(labels, (QStringList{"Open Korvane", "Show Heatmap in Tray", "Notifications", "Quit Korvane"}));

    // "Show Heatmap in Tray" writes the setting.
    auto* heatmap = statusItem->contextMenu->actions()[1];
    EXPECT_TRUE(heatmap->isChecked());
    heatmap->trigger();
    EXPECT_FALSE(settings.boolValue("showHeatmapInMenuBar"));

    statusItem->contextMenu->actions().back()->trigger();
    EXPECT_EQ(terminations, 1);
}

TEST_F(AppDelegateTest, TheHeatmapDefaultNeverOverridesAStoredChoice) {
    settings.setBool("hasAcceptedEULAv2", true);
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    EXPECT_TRUE(settings.boolValue("showHeatmapInMenuBar"));
    EXPECT_FALSE(settings.hasStoredValue("showHeatmapInMenuBar"));

    settings.setBool("showHeatmapInMenuBar", false);
    delegate.reset();
    launch();
    EXPECT_FALSE(settings.boolValue("showHeatmapInMenuBar"));
}

TEST_F(AppDelegateTest, TheTrayClickTogglesThePopoverAtTheIcon) {
    settings.setBool("hasAcceptedEULAv2", true);
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    statusItem->onActivate(statusItem->geometry);
    Popover& popover = delegate->popover();
    ASSERT_TRUE(popover.isShown());
    EXPECT_EQ(popover.width(), 300);
    EXPECT_EQ(popover.y(), 22);
    EXPECT_LE(popover.x(), 711);
    EXPECT_GE(popover.x() + 300, 711);
    ASSERT_NE(popover.content(), nullptr);

    delegate->togglePopover();
    EXPECT_FALSE(popover.isShown());
}

TEST_F(AppDelegateTest, TerminationStopsSamplingOnceHoweverOftenItIsAsked) {
    settings.setBool("hasAcceptedEULAv2", true);
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    delegate->applicationWillTerminate();
    delegate->applicationWillTerminate();
    EXPECT_EQ(monitoringStops, 1);
}

TEST_F(AppDelegateTest, WithoutATrayTheManagersStillRun) {
    settings.setBool("hasAcceptedEULAv2", true);
    settings.setBool("hasCompletedOnboarding", true);
    AppDelegate::Environment environment{loop, settings, connector, folder.root(), [] { return nullptr; }, [] {}};
    AppDelegate noTray(std::move(environment));
    noTray.applicationDidFinishLaunching();
    EXPECT_NE(noTray.xpcManager(), nullptr);
    EXPECT_EQ(noTray.statusBarController(), nullptr);
    noTray.togglePopover();
    EXPECT_FALSE(noTray.popover().isShown());
}

}  // namespace
}  // namespace korvane::app
