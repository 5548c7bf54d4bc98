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
#include <optional>
#include <string>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/bundle_reader.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/focus/process_placement.h"
#include "app/focus/quit_release.h"
#include "app/monitors/core_visualizer_view_model.h"
#include "app/monitors/fan_manager.h"
#include "app/shell/login_item.h"
#include "app/shell/notifications/notification_manager.h"
#include "app/runtime/settings_store.h"
#include "app/shell/first_run_windows.h"
#include "app/shell/popover.h"
#include "app/shell/status_bar_controller.h"
#include "app/shell/status_item.h"
#include "app/shell/tray_menu.h"
#include "app/throttled/throttled_processes_manager.h"
#include "app/ui/menu_windows/about_view.h"
#include "shared/client/helper_connection.h"
#include "shared/mainloop/main_loop.h"

class QMenu;
class QWidget;

namespace korvane::ui {
class ListWindowSlot;
}

namespace korvane::app {

// The eight objects the popover's views share. The delegate owns them for the
// whole run; views only ever hold these references.
struct AppManagers {
    AppManager& appManager;
    XPCManager& xpcManager;
    AutoFocusManager& autoFocusManager;
    AutoTriggerManager& autoTriggerManager;
    NotificationManager& notificationManager;
    FanManager& fanManager;
    ECoreJailManager& eCoreJailManager;
    CoreVisualizerViewModel& cpuViewModel;
};

// What the managers read the machine through. Everything here outlives the
// delegate.
struct ManagerPlatform {
    Workspace& workspace;
    NotificationCenter& notifications;
    ProcessorTickSource& processorTicks;
    CoreLayoutSource& coreLayout;
    const BundleReader& bundles;
    // How the helper is installed and removed from the popover.
    HelperInstallSetup install{};
    // Closes the shared SMC connection at exit.
    std::function<void()> closeSmcConnection = [] {};
    // Where applications really run, for the popover's core groups.
    const ProcessPlacement* placement = nullptr;
    // What the machine says is confined now, for "Throttled Now…"; the item
    // is absent without it.
    ConfinementReader* confinement = nullptr;
};

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
        ManagerPlatform& platform;
        std::string filesystemRoot;  // empty on a real system
        // The tray item; null when the desktop has no tray.
        std::function<std::unique_ptr<StatusItem>()> makeStatusItem;
        // Ends the application (applicationWillTerminate runs on the way out).
        std::function<void()> terminate;
        // The agreement and setup windows (app::onboardingWindows with what
        // the platform read of this machine).
        FirstRunWindows windows{};
        // The popover's content, built from the eight managers; a placeholder when not given.
        std::function<QWidget*(const AppManagers&)> makeMainView = nullptr;
        // "Start at Login"; the item is absent when not given.
        std::optional<LoginItem> loginItem = std::nullopt;
        // What "About Korvane" tells; the item is absent without a version.
        ui::AboutFacts about{};
        // The longest a quit waits for focus to be released.
        Duration focusReleaseLimit = QuitRelease::kDefaultLimit;
    };

    explicit AppDelegate(Environment environment);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Idempotent: runs its steps once, whichever way the application ends.
    void applicationWillTerminate();
    void togglePopover();
    // Opens the popover (the tray menu's "Open Korvane").
    void openPopover();
    void closePopover();
    // As the popover's own Quit: focus is released first, then the application ends.
    void quitReleasingFocus();

    // Read access for the program and tests.
    StatusItem* statusItem() const { return statusItem_.get(); }
    Popover& popover() const { return *popover_; }
    QWidget* eulaWindow() const { return eulaWindow_.get(); }
    QWidget* onboardingWindow() const { return onboardingWindow_.get(); }
    XPCManager* xpcManager() const { return xpcManager_.get(); }
    AppManager* appManager() const { return appManager_.get(); }
    AutoFocusManager* autoFocusManager() const { return autoFocusManager_.get(); }
    AutoTriggerManager* autoTriggerManager() const { return autoTriggerManager_.get(); }
    NotificationManager* notificationManager() const { return notificationManager_.get(); }
    CoreVisualizerViewModel* cpuViewModel() const { return cpuViewModel_.get(); }
    FanManager* fanManager() const { return fanManager_.get(); }
    ECoreJailManager* eCoreJailManager() const { return eCoreJailManager_.get(); }
    // The eight managers, once bootstrapApp has run.
    std::optional<AppManagers> managers() const;
    StatusBarController* statusBarController() const { return statusBarController_.get(); }
    QMenu* trayMenu() const;
    TrayMenu* trayMenuItems() const { return trayMenu_.get(); }
    bool bootstrapped() const { return bootstrapped_; }

private:
    void showEULA();
    void showOnboarding();
    void bootstrapApp();
    void acceptAgreement();
    void completeOnboarding();
    void buildTrayMenu();
    void showThrottledNow();
    void showAbout();
    StatusBarSources statusBarSources() const;
    void terminateNow();

    Environment env_;
    QuitRelease quitRelease_;

    // In the order the delegate holds them.
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<Popover> popover_;
    std::unique_ptr<QWidget> eulaWindow_;
    std::unique_ptr<QWidget> onboardingWindow_;
    // Shared, because the managers refer to one another through weak references.
    std::shared_ptr<AppManager> appManager_;
    std::shared_ptr<XPCManager> xpcManager_;
    std::shared_ptr<AutoFocusManager> autoFocusManager_;
    std::shared_ptr<AutoTriggerManager> autoTriggerManager_;
    std::shared_ptr<NotificationManager> notificationManager_;
    std::unique_ptr<CoreVisualizerViewModel> cpuViewModel_;
    std::unique_ptr<FanManager> fanManager_;
    std::unique_ptr<ECoreJailManager> eCoreJailManager_;
    std::unique_ptr<StatusBarController> statusBarController_;

    std::unique_ptr<ThrottledProcessesManager> throttledProcesses_;
    std::unique_ptr<TrayMenu> trayMenu_;
    std::unique_ptr<ui::ListWindowSlot> throttledNowWindow_;
    std::unique_ptr<ui::ListWindowSlot> aboutWindow_;
    bool bootstrapped_ = false;
    bool terminated_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // for work posted to the loop
};

}  // namespace korvane::app
