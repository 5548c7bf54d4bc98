// The delegate on real settings files with the real first-run views, over
// fakes of the machine: what the desktop tests cannot bring about (an
// agreement accepted after an earlier setup, the tray menu's switches that
// cannot work, a helper that never answers at Quit, no tray at all).
#include <gtest/gtest.h>

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "app/shell/app_delegate.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/socket/unix_socket.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/recording_notification_center.h"
#include "tests/onboarding/onboarding_fixture.h"
#include "tests/shell/fake_status_item.h"
#include "tests/shell/scripted_machine.h"

namespace korvane::app {
namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    std::unique_ptr<StatusItem> makeStatusItem() {
        ++statusItemsMade;
        auto item = std::make_unique<testing::FakeStatusItem>();
        statusItem = item.get();
        return item;
    }

    AppDelegate::Environment environment() {
        AppDelegate::Environment environment{loop,
                                             settings,
                                             connector,
                                             platform,
                                             folder.root(),
                                             [this] { return makeStatusItem(); },
                                             [this] { ++terminations; }};
        environment.windows = onboardingWindows(settings, testing::scriptedDependencies(install));
        environment.loginItem = LoginItem(folder.path("share/autostart.desktop"), folder.path("autostart"));
        return environment;
    }

    void launch() {
        delegate = std::make_unique<AppDelegate>(environment());
        delegate->applicationDidFinishLaunching();
        settle();
    }

    void markFirstRunDone() {
        settings.setBool("hasAcceptedEULAv2", true);
        settings.setBool("hasCompletedOnboarding", true);
    }
    void launchRunning() {
        markFirstRunDone();
        launch();
    }

    void settle() {
        for (int round = 0; round < 5; ++round) {
            loop.runPending();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }

    QAction* menuItem(const QString& label) const {
        for (auto* action : statusItem->contextMenu->actions()) {
            if (action->text() == label) return action;
        }
        return nullptr;
    }

    log::CapturedLines logLines;
    testing::FixtureTree folder;
    VirtualMainLoop loop;
    SettingsStore settings{loop, folder.root()};
    linux_platform::SocketHelperConnector connector{folder.path("no-helper.sock")};
    testing::FakeWorkspace workspace{loop};
    testing::RecordingNotificationCenter notifications;
    testing::SteadyTicks ticks{4};
    testing::FixedCores layout;
    testing::NoBundles bundles;
    int smcCloses = 0;
    ManagerPlatform platform{workspace, notifications, ticks, layout, bundles, {}, [this] { ++smcCloses; }};
    std::shared_ptr<testing::ScriptedInstall::Shared> install = std::make_shared<testing::ScriptedInstall::Shared>();
    int statusItemsMade = 0;
    int terminations = 0;
    testing::FakeStatusItem* statusItem = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, AcceptingAfterAnEarlierSetupGoesStraightToRunning) {
    settings.setBool("hasCompletedOnboarding", true);
    launch();
    QPushButton* agree = delegate->eulaWindow() ? testing::button(*delegate->eulaWindow(), "agreeButton") : nullptr;
    ASSERT_NE(agree, nullptr);
    agree->click();
    settle();
    EXPECT_TRUE(delegate->bootstrapped());
    EXPECT_EQ(statusItemsMade, 1);
    EXPECT_EQ(delegate->eulaWindow(), nullptr);
    EXPECT_EQ(delegate->onboardingWindow(), nullptr);
}

// The heatmap's default is never written, so it cannot override a choice.
TEST_F(AppDelegateTest, TheTrayMenuWritesItsSettingsAndKeepsTheAutostartEntry) {
    folder.write("share/autostart.desktop", "[Desktop Entry]\nType=Application\nExec=korvane\n");
    launchRunning();
    ASSERT_NE(statusItem->contextMenu, nullptr);

    QAction* heatmap = menuItem("Show Heatmap in Tray");
    EXPECT_TRUE(heatmap->isChecked());
    EXPECT_FALSE(settings.hasStoredValue("showHeatmapInMenuBar"));
    heatmap->trigger();
    EXPECT_FALSE(settings.boolValue("showHeatmapInMenuBar"));

    const std::string entry = folder.path("autostart/com.korvane.app.desktop");
    QAction* login = menuItem("Start at Login");
    EXPECT_FALSE(login->isChecked());
    login->trigger();
    EXPECT_TRUE(folder.read("autostart/com.korvane.app.desktop").starts_with("[Desktop Entry]\nType=Application"));
    login->trigger();
    EXPECT_FALSE(std::filesystem::exists(entry));

    delegate.reset();
    launch();
    EXPECT_FALSE(settings.boolValue("showHeatmapInMenuBar"));
}

// A tick that would change nothing says why: no notification server, no
// autostart entry to copy (then Korvane offers to write its own).
TEST_F(AppDelegateTest, TheTrayMenuSaysWhenItsSwitchesCannotWork) {
    notifications.status = app::NotificationAuthorization::denied;
    notifications.grant = false;
    launchRunning();
    notifications.joinAll();
    settle();
    TrayMenu& menu = *delegate->trayMenuItems();
    const QString noServer = "Nothing will be shown: no notification server answers";

    QAction* notificationsItem = menuItem("Notifications");
    notificationsItem->trigger();
    notifications.joinAll();
    settle();
    EXPECT_TRUE(delegate->notificationManager()->isEnabled.get());
    ASSERT_NE(menuItem(noServer), nullptr);
    EXPECT_TRUE(menuItem(noServer)->isVisible());
    ASSERT_NE(menu.message(), nullptr);
    menu.message()->close();
    notificationsItem->trigger();  // off: nothing to warn of
    EXPECT_FALSE(menuItem(noServer)->isVisible());

    const std::string entry = folder.path("autostart/com.korvane.app.desktop");
    QAction* login = menuItem("Start at Login");
    login->trigger();  // no shipped entry in this folder
    EXPECT_FALSE(login->isChecked());
    EXPECT_FALSE(std::filesystem::exists(entry));
    ASSERT_NE(menu.message(), nullptr);
    auto* write = menu.message()->findChild<QPushButton*>("writeEntryButton");
    ASSERT_NE(write, nullptr);
    write->click();
    settle();
    const std::string written = folder.read("autostart/com.korvane.app.desktop");
    EXPECT_NE(written.find("\nExec=" + QCoreApplication::applicationFilePath().toStdString() + "\n"), std::string::npos)
        << written;
    Q_EMIT statusItem->contextMenu->aboutToShow();
    EXPECT_TRUE(login->isChecked());

    // A program path that needs quoting, and per-cent signs that would start field codes.
    ASSERT_TRUE(LoginItem(folder.path("none"), folder.path("quoted")).writeEntryStarting("/opt/My Apps/k\"v%1"));
    const std::string quoted = folder.read("quoted/com.korvane.app.desktop");
    EXPECT_NE(quoted.find("\nExec=\"/opt/My Apps/k\\\\\"v%%1\"\n"), std::string::npos) << quoted;
}

// Quit releases focus first; a helper that never answers gets five seconds,
// then Korvane quits anyway, once. Termination stops the periodic work once,
// however often it is asked.
TEST_F(AppDelegateTest, QuitGivesAHelperThatNeverAnswersFiveSecondsThenTerminationStopsThePeriodicWorkOnce) {
    auto silent = linux_platform::listenUnix(folder.path("no-helper.sock"), ::getuid());  // never answers
    ASSERT_TRUE(silent) << silent.error();
    launchRunning();
    delegate->appManager()->isFocusModeActive = true;
    delegate->xpcManager()->throttledPIDs = std::set<std::int32_t>{101};
    menuItem("Quit Korvane")->trigger();
    settle();
    loop.advanceBy(seconds(4.9));
    settle();
    EXPECT_EQ(terminations, 0);
    loop.advanceBy(seconds(0.1));
    settle();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(logLines.countStartingWith("Korvane: Quit: the helper did not release focus within 5 s; the other "
                                         "applications stay throttled"),
              1);
    loop.advanceBy(seconds(10));
    settle();
    EXPECT_EQ(terminations, 1);

    delegate->applicationWillTerminate();
    delegate->applicationWillTerminate();
    EXPECT_FALSE(delegate->cpuViewModel()->isRunning.get());
    EXPECT_EQ(delegate->fanManager()->pollingInterval(), std::nullopt);
    EXPECT_EQ(smcCloses, 1);
}

TEST_F(AppDelegateTest, WithoutATrayTheManagersStillRun) {
    markFirstRunDone();
    AppDelegate::Environment noTrayEnvironment = environment();
    noTrayEnvironment.makeStatusItem = [] { return nullptr; };
    AppDelegate noTray(std::move(noTrayEnvironment));
    noTray.applicationDidFinishLaunching();
    EXPECT_TRUE(noTray.managers().has_value());
    EXPECT_EQ(noTray.statusBarController(), nullptr);
    noTray.togglePopover();
    EXPECT_FALSE(noTray.popover().isShown());
}

}  // namespace
}  // namespace korvane::app
