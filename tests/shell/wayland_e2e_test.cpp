// Korvane itself on Wayland desktops, as a user runs it: started as the
// desktop's user beside the real helper (serving that user, on a fixture
// sysfs where CPU 1 is the only efficiency core). Auto-Focus and Auto-Trigger,
// switched on in the settings, confine the other applications while their
// application is in front and release them after; its StatusNotifierItem
// shows in the desktop's tray (swaybar; Plasma's panel on KWin; GNOME
// Shell's AppIndicator extension) with the focused application and its
// P-core load (read from a fixture /proc/stat), and a click on it opens the
// popover at the icon with the desktop's applications listed, found over
// AT-SPI as a screen reader finds them. With KORVANE_SCREENSHOT_DIR set,
// screenshots are kept there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/runtime/settings_store.h"
#include "testing/virtual_main_loop.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/desktops/x11_session.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

// Where AT-SPI says a control is, and whether it is showing.
struct Control {
    int x = 0, y = 0, width = 0, height = 0;
    bool showing = false;
};

class KorvaneOnWayland : public ::testing::TestWithParam<DesktopFamily> {
protected:
    void SetUp() override {
        std::string why;
        started_ = DesktopSession::start(GetParam(), why, /*withPanel=*/true);
        ASSERT_TRUE(started_) << why;
        session = static_cast<WaylandSession*>(started_.get());
        const std::string share = session->home() + "/.local/share";
        const std::pair<std::unique_ptr<StartedProgram>*, TestApp> apps[] = {
            {&editor, {"org.korvane.e2e.Editor", "Editor", ClientKind::qt}},
            {&game, {"org.korvane.e2e.Game", "Game", ClientKind::xwayland}},
            {&browser, {"org.korvane.e2e.Browser", "Browser", ClientKind::wayland}}};
        for (const auto& [app, testApp] : apps) {
            const std::string entry = share + "/applications/" + testApp.id + ".desktop";
            fs::create_directories(fs::path(entry).parent_path());
            // With an icon: the tray shows the focused application's look only then.
            std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=" << testApp.name
                                 << "\nIcon=utilities-terminal\nStartupWMClass=" << session->windowClass(testApp)
                                 << "\n";
            *app = session->launch(testApp, entry, why);
            ASSERT_TRUE(*app) << why;
        }
        startHelper(share);
        writeSettings();
        startAccessibilityBus();
        startTicks();
        korvane = session->start({KORVANE_BINARY},
                                 {{"XDG_SESSION_TYPE", "wayland"},
                                  {"XDG_DATA_DIRS", share + ":/usr/share"},
                                  {"KORVANE_HELPER_SOCKET", helperFolder_ + "/helper.sock"},
                                  {"KORVANE_SYSFS_ROOT", sysfs_.root()},
                                  {"KORVANE_PROC_ROOT", proc_},
                                  {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}},
                                 session->runtimeDir() + "/korvane.log");
    }
    void TearDown() override {
        if (HasFailure() && session) {
            std::fprintf(stderr, "korvane printed:\n%s\nthe desktop printed:\n%s\n",
                         readText(session->runtimeDir() + "/korvane.log").c_str(), session->log().c_str());
        }
        korvane.reset();
        ticks_.reset();
        watcher_.reset();
        // Asked, not killed: the launcher ends the bus it started, which
        // would otherwise outlive the test holding its output open.
        if (a11yBus_) a11yBus_->stop(SIGTERM);
        a11yBus_.reset();
        helper_.reset();
        std::error_code ignored;
        if (!helperFolder_.empty()) fs::remove_all(helperFolder_, ignored);
    }

    // The helper serves the desktop's user from a folder only root may
    // write to, which that user may reach.
    void startHelper(const std::string& share) {
        std::string pattern = (fs::temp_directory_path() / "korvane-helper-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        helperFolder_ = pattern;
        ::chmod(helperFolder_.c_str(), 0755);
        sysfs_.intelHybridPair();
        ::chmod(sysfs_.root().c_str(), 0755);  // Korvane reads it as the desktop's user
        helper_ = std::make_unique<StartedProgram>(
            std::vector<std::string>{KORVANE_HELPER_BINARY, "--allow-uid=" + std::to_string(session->uid())},
            Environment{{"KORVANE_HELPER_SOCKET", helperFolder_ + "/helper.sock"},
                        {"KORVANE_SYSFS_ROOT", sysfs_.root()},
                        {"KORVANE_TASKPOLICY", KORVANE_TASKPOLICY_BINARY},
                        {"KORVANE_HELPER_RUNTIME_DIR", helperFolder_ + "/state"},
                        {"XDG_DATA_DIRS", share}},
            helperFolder_ + "/helper.log");
        ASSERT_TRUE(waitUntil([&] { return fs::exists(helperFolder_ + "/helper.sock"); }))
            << readText(helperFolder_ + "/helper.log");
    }

    // Past the first run, with Auto-Focus on for the editor and the game as
    // Beast Mode's trigger.
    void writeSettings() {
        const std::string folder = session->home() + "/.config/korvane";
        {
            VirtualMainLoop loop;
            app::SettingsStore settings(loop, folder);
            settings.setBool("hasAcceptedEULAv2", true);
            settings.setBool("hasCompletedOnboarding", true);
            settings.setBool(app::AutoFocusManager::kEnabledKey, true);
            settings.setData(app::AutoFocusManager::kTargetsKey,
                             R"([{"name":"Editor","bundleIdentifier":"org.korvane.e2e.Editor"}])");
            settings.setBool(app::AutoTriggerManager::kEnabledKey, true);
            settings.setData(app::AutoTriggerManager::kAppsKey,
                             R"([{"name":"Game","bundleIdentifier":"org.korvane.e2e.Game"}])");
        }
        runCommand({findProgram("chown"), "-R", std::to_string(session->uid()), session->home() + "/.config"});
    }

    std::string item() const { return "org.kde.StatusNotifierItem-" + std::to_string(korvane->pid()) + "-1"; }
    bool registered() const {
        return session
                   ->call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                          "org.freedesktop.DBus.Properties.Get",
                          {"org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"})
                   .out.find(item()) != std::string::npos;
    }

    // AT-SPI's bus on the session bus, as the desktop's user, the way a
    // session starts it.
    void startAccessibilityBus() {
        a11yBus_ = session->start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, {},
                                  session->runtimeDir() + "/a11y-bus.log");
        ASSERT_TRUE(waitUntil([&] {
            return session->call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress").exitStatus == 0;
        })) << readText(session->runtimeDir() + "/a11y-bus.log");
        // Qt on Xwayland makes the popover a popup, which only AT-SPI's
        // events lead to (the driver says more).
        watcher_ = std::make_unique<StartedProgram>(
            std::vector<std::string>{"/usr/bin/python3", KORVANE_ATSPI_DRIVER, "watch", windowsNoted()}, atspiEnvironment(),
            session->runtimeDir() + "/atspi-watch.log");
        ASSERT_TRUE(waitUntil([&] { return fs::exists(windowsNoted()); })) << readText(session->runtimeDir() + "/atspi-watch.log");
    }
    std::string windowsNoted() const { return session->runtimeDir() + "/atspi-windows"; }
    Environment atspiEnvironment() const {
        return {{"DBUS_SESSION_BUS_ADDRESS", session->busAddress()}, {"KORVANE_ATSPI_WINDOWS", windowsNoted()}};
    }

    // CPU 0, the performance core, at 37 % and CPU 1 at 20 %, in a /proc/stat
    // that goes on counting while the test runs.
    void startTicks() {
        proc_ = session->runtimeDir() + "/proc";
        fs::create_directories(proc_);
        ::chmod(proc_.c_str(), 0755);
        ticks_ = std::make_unique<StartedProgram>(std::vector<std::string>{
            "/bin/sh", "-c",
            "i=0; while :; do i=$((i + 1)); printf 'cpu  0 0 0 0\ncpu0 %d 0 0 %d\ncpu1 %d 0 0 %d\n' "
            "$((i * 37)) $((i * 63)) $((i * 20)) $((i * 80)) >\"$0/stat.new\"; mv \"$0/stat.new\" \"$0/stat\"; "
            "sleep 1; done",
            proc_});
    }

    // The control of that role and accessible name in Korvane's windows, as
    // an AT-SPI client sees it.
    std::optional<Control> control(const std::string& role, const std::string& name) const {
        auto found = runCommand({"/usr/bin/python3", KORVANE_ATSPI_DRIVER, "find", role, name}, atspiEnvironment());
        Control control;
        int showing = 0;
        std::istringstream fields(found.out);
        if (found.exitStatus != 0 || !(fields >> control.x >> control.y >> control.width >> control.height >> showing)) {
            return std::nullopt;
        }
        control.showing = showing == 1;
        return control;
    }
    bool showing(const std::string& role, const std::string& name) const {
        auto found = control(role, name);
        return found && found->showing;
    }

    std::string itemProperty(const std::string& name) const {
        return session
            ->call(item(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties.Get",
                   {"org.kde.StatusNotifierItem", name})
            .out;
    }

    void screenshot(const std::string& what) {
        if (const char* folder = std::getenv("KORVANE_SCREENSHOT_DIR")) {
            fs::create_directories(folder);
            EXPECT_TRUE(session->screenshot(std::string(folder) + "/wayland-" + familyName(GetParam()) + "-" + what +
                                            ".png"));
        }
    }

    std::unique_ptr<DesktopSession> started_;
    WaylandSession* session = nullptr;
    CpuSysfs sysfs_;
    std::string helperFolder_;
    std::string proc_;
    std::unique_ptr<StartedProgram> helper_, a11yBus_, watcher_, ticks_;
    std::unique_ptr<StartedProgram> editor, game, browser;
    std::unique_ptr<StartedProgram> korvane;
};

TEST_P(KorvaneOnWayland, AutoFocusBeastModeTrayAndPopover) {
    const std::string machine = machineCPUs();
    ASSERT_TRUE(session->activate(editor->pid()));
    EXPECT_TRUE(waitUntil([&] { return onlyOn(game->pid(), "1") && onlyOn(browser->pid(), "1"); }, 20s))
        << "game " << viewOf(game->pid()).cpus << ", browser " << viewOf(browser->pid()).cpus;
    EXPECT_TRUE(onlyOn(editor->pid(), machine));
    // The tray says what Auto-Focus holds, and the P-cores' load.
    ASSERT_TRUE(waitUntil([&] { return registered(); })) << "the tray's watcher does not know " << item();
    EXPECT_TRUE(waitUntil([&] { return itemProperty("XAyatanaLabel").find("' 37%'") != std::string::npos; }, 15s))
        << itemProperty("XAyatanaLabel");
    EXPECT_NE(itemProperty("ToolTip").find("Korvane — Editor · P-cores 37%"), std::string::npos)
        << itemProperty("ToolTip");
    ASSERT_TRUE(session->activate(browser->pid()));
    EXPECT_TRUE(waitUntil([&] { return onlyOn(game->pid(), machine) && onlyOn(browser->pid(), machine); }));
    // Korvane holds Beast Mode back while Auto-Focus is on, until the
    // helper's answer to the release has reached it.
    EXPECT_TRUE(waitUntil([&] {
        return readText(session->runtimeDir() + "/korvane.log").find("Auto-Focus serbest bırakıldı — Browser") !=
               std::string::npos;
    }));

    // Beast Mode, switched on in the settings. (When it is released, the
    // focus engine's desktop tests time on each desktop.)
    ASSERT_TRUE(session->activate(game->pid()));
    EXPECT_TRUE(waitUntil([&] { return onlyOn(editor->pid(), "1") && onlyOn(browser->pid(), "1"); }))
        << "editor " << viewOf(editor->pid()).cpus << ", browser " << viewOf(browser->pid()).cpus;
    EXPECT_TRUE(onlyOn(game->pid(), machine));
    ASSERT_TRUE(session->activate(browser->pid()));
    EXPECT_TRUE(waitUntil([&] { return onlyOn(editor->pid(), machine) && onlyOn(browser->pid(), machine); }, 10s));

    screenshot("tray");
    // Where the desktop draws its tray: swaybar at the bottom right,
    // Plasma's panel at the bottom left of its clock, GNOME's top bar at the
    // top right. A click there is Activate(x, y).
    const bool bottom = GetParam() != DesktopFamily::gnome;
    const bool plasma = GetParam() == DesktopFamily::kwin;
    const int anchorX = plasma ? 944 : 1260;
    const int anchorY = plasma ? 778 : bottom ? 710 : 12;
    ASSERT_EQ(session
                  ->call(item(), "/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate",
                         {std::to_string(anchorX), std::to_string(anchorY)})
                  .exitStatus,
              0);
    ASSERT_TRUE(waitUntil([&] { return showing("push button", "Editor"); })) << "the popover did not open";
    for (const char* row : {"Game", "Browser"}) EXPECT_TRUE(showing("push button", row)) << row;
    const Control quit = control("push button", "Quit").value_or(Control{});
    EXPECT_TRUE(quit.showing);
    EXPECT_GT(quit.x + 300, anchorX);
    EXPECT_LE(quit.x + quit.width, 1280);
    EXPECT_TRUE(bottom ? quit.y < anchorY : quit.y > anchorY);
    screenshot("popover");

    EXPECT_EQ(korvane->stop(SIGTERM), 0);
}

std::string nameOf(const ::testing::TestParamInfo<DesktopFamily>& info) { return familyName(info.param); }

INSTANTIATE_TEST_SUITE_P(Desktops, KorvaneOnWayland,
                         ::testing::Values(DesktopFamily::sway, DesktopFamily::kwin, DesktopFamily::gnome), nameOf);

}  // namespace
}  // namespace korvane::testing
