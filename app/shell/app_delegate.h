#pragma once
// The application delegate: leads a first-time user through the agreement
// and setup windows, then builds every manager once (bootstrapApp), the
// popover and the tray item, and stops the periodic work at exit.
//
// Launch states, decided once per launch by two settings:
//   "hasAcceptedEULAv2" false          -> agreement window
//   accepted, "hasCompletedOnboarding" false -> setup window
//   both true                          -> running
// No manager exists before bootstrapApp. Main thread only.
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "app/client/xpc_manager.h"
#include "app/runtime/settings_store.h"
#include "app/shell/first_run_window.h"
#include "app/shell/popover.h"
#include "app/shell/status_bar_controller.h"
#include "app/shell/status_item.h"
#include "shared/client/helper_connection.h"
#include "shared/mainloop/main_loop.h"

class QMenu;
class QAction;
class QWidget;

namespace korvane::app {

class AppDelegate final : public QObject {
    Q_OBJECT
public:
    static constexpr std::string_view kAcceptedAgreement = "hasAcceptedEULAv2";
    static constexpr std::string_view kCompletedSetup = "hasCompletedOnboarding";
    static constexpr std::string_view kAutoFocusEnabled = "AutoFocusEnabled";

    // What the program's main hands in: the platform's pieces.
    struct Environment {
        MainLoop& loop;
        SettingsStore& settings;
        HelperConnector& helperConnector;
        std::string filesystemRoot;  // empty on a real system
        // The tray item; null when the desktop has no tray.
        std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
        // Ends the application (applicationWillTerminate runs on the way out).
        std::function<void()> terminate;
        FirstRunViews views = FirstRunViews::placeholders();
        // The popover's content; a placeholder when not given.
        std::function<QWidget*()> makeMainView = nullptr;
        // What the tray shows until the focus engine and the core monitor are wired.
        std::function<StatusBarSources()> interimStatusBarSources = [] { return StatusBarSources::idle(); };
    };

    explicit AppDelegate(Environment environment);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Idempotent: runs its steps once, whichever way the application ends.
    void applicationWillTerminate();
    void togglePopover();
    // Opens the popover (the tray menu's "Open Korvane").
    void openPopover();
    // As the popover's own Quit: focus is released first, then the application ends.
    void quitReleasingFocus();

    // Read access for the program and tests.
    StatusItem* statusItem() const { return statusItem_.get(); }
    Popover& popover() const { return *popover_; }
    FirstRunWindow* eulaWindow() const { return eulaWindow_.get(); }
    FirstRunWindow* onboardingWindow() const { return onboardingWindow_.get(); }
    XPCManager* xpcManager() const { return xpcManager_.get(); }
    StatusBarController* statusBarController() const { return statusBarController_.get(); }
    QMenu* trayMenu() const { return trayMenu_.get(); }
    bool bootstrapped() const { return bootstrapped_; }

private:
    void showEULA();
    void showOnboarding();
    void bootstrapApp();
    void acceptAgreement();
    void completeOnboarding();
    void buildTrayMenu();

    Environment env_;

    // In the order the delegate holds them.
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<Popover> popover_;
    std::unique_ptr<FirstRunWindow> eulaWindow_;
    std::unique_ptr<FirstRunWindow> onboardingWindow_;
    // appManager_: AppManager lands here with the focus engine.
    std::unique_ptr<XPCManager> xpcManager_;
    // autoFocusManager_, autoTriggerManager_: the focus engine.
    // notificationManager_: NotificationManager (app/shell/notifications).
    // cpuViewModel_, fanManager_: the monitors.
    // eCoreJailManager_: the focus engine.
    std::unique_ptr<StatusBarController> statusBarController_;

    std::unique_ptr<QMenu> trayMenu_;
    QAction* heatmapAction_ = nullptr;
    QAction* notificationsAction_ = nullptr;
    bool bootstrapped_ = false;
    bool terminated_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // for work posted to the loop
};

}  // namespace korvane::app
