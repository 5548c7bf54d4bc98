// What the D-Bus workspaces must withstand on a real desktop: pushes forged
// by another program of the user, and their compositor's side going away
// and coming back while Korvane runs.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/linux/gnome/gnome_workspace.h"
#include "platform/linux/kwin/kwin_workspace.h"
#include "shared/log/log.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/focus_e2e/focus_desktop.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::DesktopFamily;

class DesktopFaults : public ::testing::Test {
protected:
    void start(DesktopFamily family) {
        std::string why;
        desktop = testing::FocusDesktop::start(family, why);
        ASSERT_TRUE(desktop) << why;
    }
    void TearDown() override {
        if (!HasFailure() || !desktop) return;
        for (const auto& line : logLines.lines()) std::fprintf(stderr, "%s\n", line.c_str());
        std::fprintf(stderr, "the desktop printed:\n%s\n", desktop->session().log().c_str());
    }
    template <class F>
    auto onLoop(F work) {
        return desktop->loop.call(std::move(work));
    }
    bool beastModeActive() {
        return onLoop([&] { return desktop->autoTrigger().isBeastModeActive.get(); });
    }
    std::optional<std::int32_t> frontPid() {
        return onLoop([&] {
            auto front = desktop->workspace().frontmostApplication();
            return front ? std::optional(front->processIdentifier) : std::nullopt;
        });
    }
    std::size_t listed() {
        return onLoop([&] { return desktop->appManager().runningApps->size(); });
    }
    // The game is the trigger, the browser in front: a forged report that
    // the game is in front would start Beast Mode.
    void armTheGameWithTheBrowserInFront() {
        ASSERT_TRUE(desktop->activate(desktop->browser));
        ASSERT_TRUE(testing::waitUntil([&] { return frontPid() == desktop->browser.pid(); }));
        onLoop([&] {
            desktop->autoTrigger().addApp(desktop->game.name, desktop->game.bundleID);
            desktop->autoTrigger().isEnabled = true;
        });
    }
    QString gameInFront() const {
        return QString::fromStdString(R"({"windows":[{"id":"forged","pid":)" + std::to_string(desktop->game.pid()) +
                                      R"(,"appId":"org.korvane.e2e.Game"}],"active":"forged"})");
    }
    void expectNothingChanged() {
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(beastModeActive());
        EXPECT_EQ(frontPid(), desktop->browser.pid());
        EXPECT_EQ(listed(), 3u);
    }
    // Another program of the user, on the desktop's session bus.
    QDBusConnection intruder() { return static_cast<testing::WaylandSession&>(desktop->session()).connectToBus(); }

    log::CapturedLines logLines;
    std::unique_ptr<testing::FocusDesktop> desktop;
};

TEST_F(DesktopFaults, KWinAcceptsReportsOnlyFromKWin) {
    start(DesktopFamily::kwin);
    armTheGameWithTheBrowserInFront();

    auto forged = QDBusMessage::createMethodCall(QString::fromLatin1(linux_platform::KWinWorkspace::kService),
                                                QString::fromLatin1(linux_platform::KWinWorkspace::kPath),
                                                QString::fromLatin1(linux_platform::KWinWorkspace::kService),
                                                QStringLiteral("Report"));
    forged << gameInFront();
    QDBusMessage answer = intruder().call(forged, QDBus::Block, 5000);
    EXPECT_EQ(answer.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(answer.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));

    expectNothingChanged();
    EXPECT_EQ(logLines.countStartingWith("Korvane: KWin workspace: a report from :"), 1);
}

// KWin ends and a new one takes its place, as its wrapper restarts it: the
// old front is gone at once, and the new KWin's windows are followed within
// 2 s of it answering.
TEST_F(DesktopFaults, KWinReplacedIsFollowedAgain) {
    start(DesktopFamily::kwin);
    ASSERT_TRUE(desktop->activate(desktop->editor));
    ASSERT_TRUE(testing::waitUntil([&] { return frontPid() == desktop->editor.pid(); }));

    std::string why;
    ASSERT_TRUE(testing::replaceKWin(desktop->session(), why)) << why;
    EXPECT_EQ(frontPid(), std::nullopt);
    // The script runs in the new KWin and reports its windows: the old
    // clients ended with the old KWin.
    EXPECT_TRUE(testing::waitUntil([&] { return listed() == 0; }, 2s)) << "still listed: " << listed();

    ASSERT_TRUE(desktop->relaunch(desktop->browser, why)) << why;
    ASSERT_TRUE(desktop->activate(desktop->browser));
    EXPECT_TRUE(testing::waitUntil([&] { return frontPid() == desktop->browser.pid() && listed() == 1; }, 2s));
}

// A script of Korvane's name that a run which did not end cleanly left in
// KWin makes loading fail, so it is unloaded first; Korvane's own script
// leaves KWin with the workspace.
TEST(KWinScript, AStaleScriptIsReplacedAndKorvanesIsUnloadedOnQuit) {
    std::string why;
    auto started = testing::DesktopSession::start(DesktopFamily::kwin, why);
    ASSERT_TRUE(started) << why;
    auto& kwin = static_cast<testing::WaylandSession&>(*started);
    auto scripting = [&](const char* method, std::vector<std::string> args) {
        std::vector<std::string> argv{"gdbus", "call", "--session", "--dest", "org.kde.KWin", "--object-path",
                                      "/Scripting", "--method", std::string("org.kde.kwin.Scripting.") + method};
        argv.insert(argv.end(), args.begin(), args.end());
        return kwin.run(argv).out;
    };
    auto loaded = [&] {
        return scripting("isScriptLoaded", {linux_platform::KWinWorkspace::kPluginName}).find("true") !=
               std::string::npos;
    };
    const std::string stale = kwin.runtimeDir() + "/stale.js";
    std::ofstream(stale) << "// left behind\n";
    scripting("loadScript", {stale, linux_platform::KWinWorkspace::kPluginName});
    ASSERT_TRUE(loaded());
    auto browser = kwin.launch({"org.korvane.e2e.Browser", "Browser", testing::ClientKind::wayland}, stale, why);
    ASSERT_TRUE(browser) << why;

    testing::QtLoopThread loop;
    testing::FakeUnits units;
    auto workspace = loop.call([&] { return std::move(kwin.openWorkspace(loop.loop(), {}, units)).value(); });
    auto listed = [&] { return loop.call([&] { return workspace->runningApplications().size(); }); };
    EXPECT_TRUE(testing::waitUntil([&] { return listed() == 1; })) << "the script did not run in KWin";
    loop.call([&] { workspace.reset(); });
    EXPECT_FALSE(loaded());
}

TEST_F(DesktopFaults, GnomeBelievesOnlyTheShellsSignals) {
    start(DesktopFamily::gnome);
    armTheGameWithTheBrowserInFront();

    auto forged = QDBusMessage::createSignal(QString::fromLatin1(linux_platform::GnomeWorkspace::kPath),
                                             QString::fromLatin1(linux_platform::GnomeWorkspace::kService),
                                             QStringLiteral("StateChanged"));
    forged << gameInFront();
    ASSERT_TRUE(intruder().send(forged));
    EXPECT_TRUE(testing::waitUntil(
        [&] { return logLines.countStartingWith("Korvane: GNOME workspace: a report from :") == 1; }));
    expectNothingChanged();
}

// The extension switched off while Korvane runs: nothing is in front and the
// popover's line says how to switch it on; switched on again, the windows
// are followed within 2 s.
TEST_F(DesktopFaults, GnomeExtensionSwitchedOffAndOnAgain) {
    start(DesktopFamily::gnome);
    ASSERT_TRUE(desktop->activate(desktop->editor));
    ASSERT_TRUE(testing::waitUntil([&] { return frontPid() == desktop->editor.pid(); }));
    auto blindSpot = [&] { return onLoop([&] { return desktop->workspace().blindSpot(); }); };
    EXPECT_EQ(blindSpot(), "");

    ASSERT_TRUE(testing::setGnomeExtensionEnabled(desktop->session(), false));
    EXPECT_TRUE(testing::waitUntil([&] { return !frontPid(); }, 2s));
    EXPECT_NE(blindSpot().find("gnome-extensions enable korvane-workspace@korvane.com"), std::string::npos);

    ASSERT_TRUE(desktop->activate(desktop->browser));
    ASSERT_TRUE(testing::setGnomeExtensionEnabled(desktop->session(), true));
    EXPECT_TRUE(testing::waitUntil([&] { return frontPid() == desktop->browser.pid(); }, 2s));
    EXPECT_EQ(blindSpot(), "");
    EXPECT_EQ(listed(), 3u);
}

}  // namespace
}  // namespace korvane
