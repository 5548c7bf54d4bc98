#pragma once
// The focus engine as the application runs it, on a real desktop of any
// family (tests/desktops): three real clients whose desktop entries live in
// a private data folder (beside entries for openbox and trayer, so the
// helper counts the desktop's own programs as applications too, as on a
// real machine), the helper as built (with its own in-process policy and a
// fixture sysfs tree in which CPU 1 is the only efficiency core) on a
// private socket, and the managers on the application's own Qt main loop
// over the workspace Korvane opens on that desktop and XPCManager. Shared by
// the end-to-end tests and the benchmark.
#include <sys/types.h>

#include <map>
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
#include "tests/desktops/desktop_session.h"
#include "tests/desktops/qt_loop_thread.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"
#include "tests/fakes/recording_notification_center.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::testing {

// One application of the desktop: its desktop entry and its running client.
struct DesktopApp {
    std::string bundleID;  // the entry's desktop file ID
    std::string name;      // the entry's Name
    std::unique_ptr<StartedProgram> client;

    pid_t pid() const { return client->pid(); }
};

class FocusDesktop {
public:
    // Everything started and wired, nothing enabled: no Auto-Focus target, no
    // trigger. Nothing, with the reason in `why`, when a part cannot start.
    // `recordsFolder` moves the helper's records out of the fixture tree: the
    // benchmark keeps them on a tmpfs, as /run is for the installed helper,
    // since a flush to disk costs more than the whole rest of a call.
    static std::unique_ptr<FocusDesktop> start(DesktopFamily family, std::string& why,
                                               const std::string& recordsFolder = {});
    // Ends the managers on their loop, then the loop, the helper and the
    // programs.
    ~FocusDesktop();
    FocusDesktop(const FocusDesktop&) = delete;
    FocusDesktop& operator=(const FocusDesktop&) = delete;

    // The three applications: an editor (the Auto-Focus target the tests
    // pick; a Qt program on Wayland), a game (the trigger; an xterm on
    // Xwayland) and a browser (neither; weston-terminal).
    DesktopApp editor, game, browser;

    // The desktop brings the window to the front, as a click would.
    bool activate(const DesktopApp& app) const { return session_->activate(app.pid()); }
    // The quickest front-most change the desktop offers.
    bool setActiveWindow(const DesktopApp& app) const { return session_->activateAtOnce(app.pid()); }

    // The managers live on this loop; reach them only through loop.call().
    QtLoopThread loop;
    app::Workspace& workspace() { return *workspace_; }
    app::AppManager& appManager() { return *appManager_; }
    app::AutoFocusManager& autoFocus() { return *autoFocus_; }
    // Read and set on the loop.
    bool autoFocusActive();
    bool beastModeActive();
    std::optional<std::int32_t> frontPid();
    std::size_t listed();
    void enableAutoFocus(const DesktopApp& target);
    void enableAutoTrigger(const DesktopApp& trigger);

    // Starts the application again from its entry (after its client ended
    // with the compositor that ran it).
    bool relaunch(DesktopApp& app, std::string& why);

    DesktopSession& session() const { return *session_; }
    // Starts trayer, the tray host, on the X11 desktop; its pid, once it has
    // taken the tray.
    std::optional<pid_t> startTrayHost();
    std::string helperLog() const { return helper_ ? helper_->log() : std::string(); }
    // How much this process's resident memory grew from opening the
    // workspace until it listed the three applications.
    long workspaceKiB() const { return workspaceKiB_; }

private:
    FocusDesktop() = default;
    bool startApp(DesktopApp& app, const TestApp& testApp, std::string& why);
    std::map<std::string, TestApp> testApps_;
    long workspaceKiB_ = 0;
    bool openWorkspace(std::string& why);
    void wireManagers();

    FixtureTree tree_;  // desktop entries, settings, the socket, the helper's log and records
    CpuSysfs sysfs_;
    std::unique_ptr<DesktopSession> session_;
    std::optional<HelperDaemon> helper_;
    std::unique_ptr<StartedProgram> trayHost_;
    FakeUnits units_;
    RecordingNotificationCenter center_;

    // Created and ended on the loop.
    std::unique_ptr<linux_platform::SocketHelperConnector> connector_;
    std::unique_ptr<app::SettingsStore> settings_;
    std::unique_ptr<app::Workspace> workspace_;
    std::shared_ptr<app::XPCManager> xpc_;
    std::shared_ptr<app::AppManager> appManager_;
    std::shared_ptr<app::AutoFocusManager> autoFocus_;
    std::shared_ptr<app::AutoTriggerManager> autoTrigger_;
    std::shared_ptr<app::NotificationManager> notifications_;
};

// This process's resident memory.
long residentKiB();

}  // namespace korvane::testing
