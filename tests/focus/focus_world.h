#pragma once
// The focus engine as the application wires it, on a virtual clock: a fake
// desktop, a real settings file, a recording notification service and
// XPCManager talking to an in-process daemon over a real socket.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/quit_release.h"
#include "app/runtime/settings_store.h"
#include "app/shell/notifications/notification_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/recording_notification_center.h"
#include "tests/focus/gated_connector.h"

namespace korvane::testing {

class FocusWorld : public ::testing::Test {
protected:
    // Every test starts with the daemon answering and no log lines.
    void SetUp() override {
        ASSERT_TRUE(served.listening);
        ASSERT_TRUE(loop.runUntil([&] { return xpc->initialStatusCheck().done(); }));
        ASSERT_TRUE(xpc->helperActive.get());
        logLines.clear();
    }

    // Constructs and wires the managers in the application's order.
    void start() {
        appManager = std::make_shared<app::AppManager>(
            app::AppManager::Dependencies{.mainLoop = loop, .workspace = workspace, .ownBundleID = {},
                                          .collationLocale = "en_US", .placement = &placement});
        autoFocus = std::make_shared<app::AutoFocusManager>(app::AutoFocusManager::Dependencies{
            .mainLoop = loop, .workspace = workspace, .settings = settings, .ownBundleID = {}});
        autoTrigger = std::make_shared<app::AutoTriggerManager>(
            app::AutoTriggerManager::Dependencies{.mainLoop = loop, .workspace = workspace, .settings = settings});
        notifications = std::make_shared<app::NotificationManager>(
            app::NotificationManager::Dependencies{.mainLoop = loop, .settings = settings, .center = center});
        // The service's answer on permission is in before anything is focused.
        center.joinAll();
        loop.runPending();
        appManager->configure(xpc);
        autoFocus->configure({appManager, xpc, notifications, autoTrigger});
        autoTrigger->configure({xpc, appManager, notifications, autoFocus});
        settle();
    }

    // Runs the loop until no helper call that shows as busy is in flight and
    // nothing is left to do.
    void settle() {
        do {
            ASSERT_TRUE(loop.runUntil([&] { return !xpc->isProcessing.get(); })) << "a helper call never finished";
        } while (loop.runPending() > 0 || xpc->isProcessing.get());
    }
    void advance(double secondsToAdvance) {
        loop.advanceBy(seconds(secondsToAdvance));
        settle();
    }

    // Moves the clock a second at a time, giving the helper's answers real
    // time to arrive between steps, until `done` or `limit` seconds.
    bool advanceUntil(const std::function<bool()>& done, int limit = 60) {
        for (int second = 0; second < limit && !done(); ++second) {
            loop.advanceBy(seconds(1));
            loop.runUntil(done, std::chrono::milliseconds(100));
        }
        settle();
        return done();
    }

    void activate(std::int32_t pid) {
        workspace.activate(pid);
        settle();
    }
    // Focus Now and Release Focus, as the popover runs them.
    void focusNow(std::int32_t pid) {
        for (auto& a : appManager->runningApps.get()) {
            if (a.id == pid) appManager->focusApp = a;
        }
        app::spawn(loop, [this]() -> app::Async<> { co_await appManager->activateFocusMode(*xpc); });
        settle();
    }
    void releaseFocus() {
        app::spawn(loop, [this]() -> app::Async<> { co_await appManager->runFocusReleaseSequence(*xpc); });
        settle();
    }

    std::vector<std::string> focusLog() const {
        std::vector<std::string> kept;
        for (auto& line : logLines.lines()) {
            if (!line.starts_with("Korvane: refreshRunningApps")) kept.push_back(line);
        }
        return kept;
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    ServedFakeHelper served{socketPath};
    linux_platform::SocketHelperConnector socketConnector{socketPath};
    GatedConnector connector{socketConnector};
    std::shared_ptr<app::XPCManager> xpc = std::make_shared<app::XPCManager>(
        app::XPCManager::Dependencies{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    FakeHelper& daemon = served.helper;
    FakeWorkspace workspace{loop};
    app::SettingsStore settings{loop, folder.path("config")};
    RecordingNotificationCenter center;
    // Where the machine says each process runs: the pids listed here are confined.
    struct FakePlacement final : app::ProcessPlacement {
        std::set<std::int32_t> confined;
        bool confinedToBackground(std::int32_t pid) const override { return confined.contains(pid); }
    } placement;

    std::shared_ptr<app::AppManager> appManager;
    std::shared_ptr<app::AutoFocusManager> autoFocus;
    std::shared_ptr<app::AutoTriggerManager> autoTrigger;
    std::shared_ptr<app::NotificationManager> notifications;
};

// The applications of the front scenarios and the log table, by name.
inline const std::map<std::string, std::int32_t> kApps{{"Editor", 40}, {"IDE", 41},    {"Browser", 42}, {"Own", 43},
                                                       {"Game", 50},   {"Render", 51}, {"Tool", 54}};

// Editor and IDE are Auto-Focus targets, Game and Render triggers.
class FrontWorld : public FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        for (const char* name : {"Editor", "IDE", "Browser", "Game", "Render"}) {
            auto app = FakeWorkspace::regular(kApps.at(name), name, std::string("org.") + name);
            app.icon = app::AppIcon{name, 0, 0, {}};
            workspace.add(app);
        }
        workspace.add(FakeWorkspace::regular(kApps.at("Own"), "Korvane", "com.korvane.app"));
        workspace.add(FakeWorkspace::regular(kApps.at("Tool"), "Tool"));  // no bundle identifier
        settings.setData(
            app::AutoFocusManager::kTargetsKey,
            R"([{"name":"Editor","bundleIdentifier":"org.Editor"},{"name":"IDE","bundleIdentifier":"org.IDE"}])");
        settings.setData(
            app::AutoTriggerManager::kAppsKey,
            R"([{"name":"Game","bundleIdentifier":"org.Game"},{"name":"Render","bundleIdentifier":"org.Render"}])");
    }
};

inline std::vector<std::int32_t> idsOf(const std::vector<app::AppInfo>& apps) {
    std::vector<std::int32_t> ids;
    for (auto& a : apps) ids.push_back(a.id);
    return ids;
}

}  // namespace korvane::testing
