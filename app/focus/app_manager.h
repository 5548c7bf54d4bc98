#pragma once
// AppManager: which graphical applications run, which one is the focus
// application, and whether focus mode is on (every other listed application
// handed to the helper for throttling). Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/client/xpc_manager.h"
#include "app/focus/app_info.h"
#include "app/focus/name_collator.h"
#include "app/focus/workspace.h"
#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/subject.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class AppManager {
public:
    static constexpr std::string_view kDefaultBundleID = "com.korvane.app";

    struct Dependencies {
        MainLoop& mainLoop;
        Workspace& workspace;  // outlives the manager
        // Our own application ID; kDefaultBundleID when we have none.
        std::optional<std::string> ownBundleID;
        // The locale the list is sorted in; empty for the user's own.
        std::string collationLocale;
    };

    // Lists the running applications at once, then follows launches and
    // terminations.
    explicit AppManager(Dependencies dependencies);
    ~AppManager();
    AppManager(const AppManager&) = delete;
    AppManager& operator=(const AppManager&) = delete;

    Published<std::vector<AppInfo>> runningApps;
    Published<std::optional<AppInfo>> focusApp;
    Published<bool> isFocusModeActive{false};
    Published<std::vector<AppInfo>> pCoreApps;
    Published<std::vector<AppInfo>> eCoreApps;

    const std::string ownBundleID;

    // Rebuilds runningApps from a fresh snapshot, drops a focus application
    // that no longer runs, and recomputes the core lists.
    void refreshRunningApps();

    // Hands every other listed application to the helper in one call and
    // turns focus mode on. Does nothing without a focus application or when
    // no other application is listed. False when the helper did not throttle
    // them: focus mode stays off and the log says so.
    Async<bool> activateFocusMode(XPCManager& xpc);

    // The steps every place that ends manual focus mode runs: release
    // everything, focus mode off, lists recomputed, logged. focusApp stays.
    // False when some process could not be released: it stays recorded, is
    // released again when the helper returns, and the log says so.
    Async<bool> runFocusReleaseSequence(XPCManager& xpc);

    void updateCoreAllocation();

    // The pid of each regular application launched while focus mode is on,
    // other than the focus application. The popover throttles it while open.
    Publisher<std::int32_t> newAppLaunchedDuringFocus() const { return launchedDuringFocus_.publisher(); }

private:
    void handleLaunch(const RunningApplication& app);

    MainLoop& loop_;
    Workspace& workspace_;
    NameCollator collator_;
    std::shared_ptr<Lifeline> lifeline_;
    Subject<std::int32_t> launchedDuringFocus_;
    Subscription launchObserver_;
    Subscription terminateObserver_;
};

}  // namespace korvane::app
