#pragma once
// AutoTriggerManager: Beast Mode on its own. While enabled, a trigger
// application coming to the front asks the helper to put every other process
// on the efficiency cores; losing the trigger (another application in front,
// or the trigger quitting) ends Beast Mode after a fixed delay unless a
// trigger comes back first. It stands aside while Auto-Focus holds focus.
// Main thread only.
#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/focus/front_absence.h"
#include "app/focus/named_app.h"
#include "app/focus/named_app_list.h"
#include "app/focus/workspace.h"
#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/settings_store.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class AppManager;
class AutoFocusManager;
class NotificationManager;
class XPCManager;

class AutoTriggerManager {
public:
    static constexpr std::string_view kEnabledKey = "AutoTriggerEnabled";
    static constexpr std::string_view kAppsKey = "AutoTriggerApps";
    static constexpr Duration deactivationDelay = std::chrono::seconds(5);

    struct Dependencies {
        MainLoop& mainLoop;
        Workspace& workspace;  // outlives the manager, as does the store
        SettingsStore& settings;
    };

    struct Collaborators {
        std::weak_ptr<XPCManager> xpcManager;
        std::weak_ptr<AppManager> appManager;
        std::weak_ptr<NotificationManager> notificationManager;
        std::weak_ptr<AutoFocusManager> autoFocusManager;
    };

    // Reads the stored list and switch; observes nothing until configure().
    explicit AutoTriggerManager(Dependencies dependencies);
    ~AutoTriggerManager();
    AutoTriggerManager(const AutoTriggerManager&) = delete;
    AutoTriggerManager& operator=(const AutoTriggerManager&) = delete;

    // Start-up wiring: the collaborators, then observing when enabled.
    void configure(Collaborators collaborators);

    // A real change is stored and, once configured, starts or stops observing.
    Published<bool> isEnabled{false};
    // Every assignment is stored.
    Published<std::vector<AutoTriggerApp>> triggerApps;
    // Beast Mode was switched on by this manager and not yet off.
    Published<bool> isBeastModeActive{false};

    // Appends a trigger unless the ID is empty or already listed.
    void addApp(const std::string& name, const std::string& bundleID);
    // Removes the entries at these positions of triggerApps.
    void removeApp(const std::set<std::size_t>& positions);
    // Removes every entry with this ID.
    void removeAppByID(const std::string& bundleID);

    bool isConfigured() const { return isConfigured_; }
    bool isActivating() const { return isActivating_; }
    bool deactivationPending() const { return deactivationTimer_.active(); }

private:
    void startObserving();
    void stopObserving();
    void handleAppActivation(const RunningApplication& app);
    void handleAppTermination(const RunningApplication& app);
    void handleNothingInFront();
    bool isTrigger(const std::optional<std::string>& bundleIdentifier) const;
    void startDeactivationTimer();
    void scheduleDeactivation();
    Async<> activateBeastMode(RunningApplication app);
    Async<> deactivateBeastMode();
    void helperReturned();

    MainLoop& loop_;
    Workspace& workspace_;
    SettingsStore& settings_;
    NamedAppList<AutoTriggerApp> list_;
    std::shared_ptr<Lifeline> lifeline_;
    Collaborators collaborators_;
    Subscription activationObserver_;
    Subscription terminationObserver_;
    std::optional<FrontAbsence> absence_;
    Timer deactivationTimer_;
    Subscription returnObserver_;
    bool isActivating_ = false;
    bool isDeactivating_ = false;
    // The last deactivation failed: Beast Mode's processes stay throttled,
    // and the deactivation is repeated when the helper answers again.
    bool deactivationOwed_ = false;
    bool isConfigured_ = false;
};

}  // namespace korvane::app
