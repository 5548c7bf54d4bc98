#pragma once
// ECoreJailManager: the user's E-Core Jail, a stored list of applications
// that stay on the efficiency cores whenever they run, and its master switch.
// It keeps the list and hands the helper the identifiers to enforce (none
// while switched off). Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/focus/bundle_reader.h"
#include "app/focus/ecore_jail_item.h"
#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/settings_store.h"
#include "app/runtime/task.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class XPCManager;

class ECoreJailManager {
public:
    static constexpr std::string_view storageKey = "com.korvane.ecorejail.list";
    static constexpr std::string_view enabledKey = "com.korvane.ecorejail.enabled";

    struct Dependencies {
        MainLoop& mainLoop;
        SettingsStore& settings;
        const BundleReader& bundles;
        std::weak_ptr<XPCManager> xpcManager;
    };

    // Reads the stored list and switch; with the jail on, the helper is sent
    // the list (twice: once for the switch, once for the start).
    explicit ECoreJailManager(Dependencies dependencies);
    ~ECoreJailManager();
    ECoreJailManager(const ECoreJailManager&) = delete;
    ECoreJailManager& operator=(const ECoreJailManager&) = delete;

    Published<std::vector<ECoreJailItem>> jailedApps;
    // The last failed synchronisation or release, or an addition refused
    // because the helper would refuse the longer list; cleared by a
    // successful sync.
    Published<std::optional<std::string>> lastSyncError;
    // A real change is stored and sent to the helper.
    Published<bool> isEnabled{false};
    // The helper has released what the jail confined since it was switched
    // off; false again at the next switch.
    Published<bool> confinedReleased{false};

    // Adds the application at `path` unless it is not one, has no
    // identifier, or is listed already. An addition that would make a list
    // the helper refuses (more than msg::kMaxJailedBundleIDs, or a message
    // over the protocol's frame limit) is refused here, with lastSyncError
    // saying why.
    void addApp(const std::string& path);
    // Removes every entry with the item's id.
    void removeApp(const ECoreJailItem& item);

    // Sends the effective list: every identifier while on, none while off.
    Async<> syncWithDaemon();

    // Switching the jail off sends an empty list, which releases nothing:
    // what it confined stays so until released or restarted. This asks the
    // helper to release every process it holds, so the caller offers it only
    // while nothing else (focus, Beast Mode) holds one. Nothing while on.
    TaskHandle releaseConfined();

private:
    void scheduleSync();
    void saveJailList();
    void loadJailList();

    const BundleReader& bundles_;
    SettingsStore& settings_;
    std::weak_ptr<XPCManager> xpcManager_;
    std::shared_ptr<Lifeline> lifeline_;
    Subscription returnObserver_;
};

}  // namespace korvane::app
