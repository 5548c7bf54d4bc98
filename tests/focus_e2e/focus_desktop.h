#pragma once
// The focus engine as the application runs it, on a real desktop: Xvfb with
// openbox and three small X clients whose desktop entries live in a private
// data folder (beside entries for openbox and trayer, so the helper counts
// the desktop's own programs as applications too, as on a real machine), the helper as built (with the real taskpolicy tool and a
// fixture sysfs tree in which CPU 1 is the only efficiency core) on a private
// socket, and the managers on the production main loop over the X11
// workspace and XPCManager. Shared by the end-to-end tests and the benchmark.
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/runtime/settings_store.h"
#include "app/shell/notifications/notification_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/x11/x11_workspace.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"
#include "tests/fakes/recording_notification_center.h"
#include "tests/focus_e2e/loop_thread.h"
#include "tests/topology/cpu_sysfs.h"
#include "tests/x11/x_session.h"

namespace korvane::testing {

// One application of the desktop: its desktop entry and its running client.
struct DesktopApp {
    std::string bundleID;  // the entry's desktop file ID
    std::string name;      // the entry's Name
    std::unique_ptr<TestClient> client;

    pid_t pid() const { return client->pid(); }
    std::uint32_t window() const { return client->windows().front(); }
};

class FocusDesktop {
public:
    // Everything started and wired, nothing enabled: no Auto-Focus target, no
    // trigger. Nothing, with the reason in `why`, when a part cannot start.
    static std::unique_ptr<FocusDesktop> start(std::string& why);
    // Ends the managers on their loop, then the loop, the helper and the
    // programs.
    ~FocusDesktop();
    FocusDesktop(const FocusDesktop&) = delete;
    FocusDesktop& operator=(const FocusDesktop&) = delete;

    // The three applications: an editor (the Auto-Focus target the tests
    // pick), a game (the trigger) and a browser (neither).
    DesktopApp editor, game, browser;

    // The window manager brings the window to the front, as a click would.
    bool activate(const DesktopApp& app) const;
    // The same change made straight on the root window, without the window
    // manager: the quickest front-most change there is.
    bool setActiveWindow(const DesktopApp& app) const;

    // The managers live on this loop; reach them only through loop.call().
    LoopThread loop;
    app::Workspace& workspace() { return *workspace_; }
    app::XPCManager& xpc() { return *xpc_; }
    app::AppManager& appManager() { return *appManager_; }
    app::AutoFocusManager& autoFocus() { return *autoFocus_; }
    app::AutoTriggerManager& autoTrigger() { return *autoTrigger_; }
    RecordingNotificationCenter& notificationCenter() { return center_; }

    const XSession& session() const { return *session_; }
    // Starts trayer, the tray host, on the desktop; its pid, once it has
    // taken the tray.
    std::optional<pid_t> startTrayHost();
    std::string helperLog() const { return helper_ ? helper_->log() : std::string(); }

private:
    FocusDesktop() = default;
    bool startApp(DesktopApp& app, const std::string& id, const std::string& name, const std::string& windowClass);
    void wireManagers(std::string& why);

    FixtureTree tree_;  // desktop entries, settings, the socket, the helper's log and records
    CpuSysfs sysfs_;
    std::unique_ptr<XSession> session_;
    std::optional<HelperDaemon> helper_;
    std::unique_ptr<StartedProgram> trayHost_;
    FakeUnits units_;
    RecordingNotificationCenter center_;

    // Created and ended on the loop.
    std::unique_ptr<linux_platform::SocketHelperConnector> connector_;
    std::unique_ptr<app::SettingsStore> settings_;
    std::unique_ptr<linux_platform::X11Workspace> workspace_;
    std::shared_ptr<app::XPCManager> xpc_;
    std::shared_ptr<app::AppManager> appManager_;
    std::shared_ptr<app::AutoFocusManager> autoFocus_;
    std::shared_ptr<app::AutoTriggerManager> autoTrigger_;
    std::shared_ptr<app::NotificationManager> notifications_;
};

// Cpus_allowed_list of every thread of `pid`, joined by spaces.
std::string allowedCPUs(pid_t pid);

}  // namespace korvane::testing
