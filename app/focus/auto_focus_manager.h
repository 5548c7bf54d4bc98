#pragma once
// AutoFocusManager: focus follows the front-most application. A target
// coming to the front becomes the focus application and focus mode goes on;
// any other application coming to the front ends the focus mode that this
// manager started. It stands aside while Beast Mode is on. Main thread only.
#include <memory>
#include <optional>
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
class AutoTriggerManager;
class NotificationManager;
class XPCManager;

class AutoFocusManager {
public:
    static constexpr std::string_view kEnabledKey = "AutoFocusEnabled";
    static constexpr std::string_view kTargetsKey = "AutoFocusTargets";

    struct Dependencies {
        MainLoop& mainLoop;
        Workspace& workspace;  // outlives the manager, as does the store
        SettingsStore& settings;
        // Our own application ID; AppManager::kDefaultBundleID when we have none.
        std::optional<std::string> ownBundleID;
    };

    struct Collaborators {
        std::weak_ptr<AppManager> appManager;
        std::weak_ptr<XPCManager> xpcManager;
        std::weak_ptr<NotificationManager> notificationManager;
        std::weak_ptr<AutoTriggerManager> autoTriggerManager;
    };

    // Sets the initial values only: no setting is read and nothing observed
    // until configure().
    explicit AutoFocusManager(Dependencies dependencies);
    ~AutoFocusManager();
    AutoFocusManager(const AutoFocusManager&) = delete;
    AutoFocusManager& operator=(const AutoFocusManager&) = delete;

    // Start-up wiring, in this order: the collaborators, the stored targets,
    // then the stored "AutoFocusEnabled" (which starts observing when true).
    void configure(Collaborators collaborators);

    // Every assignment runs the reaction to a change; a real change is
    // stored and starts or stops following the front-most application.
    Published<bool> isEnabled{false};
    // Every assignment is stored.
    Published<std::vector<AutoFocusTarget>> targets;
    // Focus mode is on because this manager turned it on.
    Published<bool> autoFocusActive{false};
    Published<std::optional<AppIcon>> focusedAppIcon;

    const std::string ownBundleID;

    bool isTarget(const std::optional<std::string>& bundleIdentifier) const;

    // Appends a target unless the ID is empty or already listed.
    void addTarget(const std::string& name, const std::string& bundleID);
    // Removes every target with this ID.
    void removeTargetByID(const std::string& bundleID);

    // The stored list, if it can be read; a list that cannot be read is left
    // stored as it is and ignored.
    void loadTargets();

    bool isTransitioning() const { return isTransitioning_; }
    // An engagement awaits the helper: for Beast Mode it counts as engaged.
    bool isEngaging() const { return isEngaging_; }

    // Beast Mode's end released every process, this manager's focus with
    // them: the engaged look goes, and a target in front, passed over while
    // Beast Mode was on, engages now.
    void beastModeEnded();

private:
    void startObserving();
    void stopObserving();
    // Nothing in front is an activation of no application.
    void scheduleActivation(std::optional<RunningApplication> app);
    Async<> handleAppActivation(std::optional<RunningApplication> app);
    Async<> releaseFocus();
    void recheckFront();

    MainLoop& loop_;
    Workspace& workspace_;
    SettingsStore& settings_;
    NamedAppList<AutoFocusTarget> list_;
    std::shared_ptr<Lifeline> lifeline_;
    Collaborators collaborators_;
    Subscription activationObserver_;
    Subscription returnObserver_;
    std::optional<FrontAbsence> absence_;
    bool isTransitioning_ = false;
    bool isEngaging_ = false;
};

}  // namespace korvane::app
