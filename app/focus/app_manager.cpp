#include "app/focus/app_manager.h"

#include <algorithm>

#include "app/focus/owner_alive.h"
#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"

namespace korvane::app {

AppManager::AppManager(Dependencies dependencies)
    : ownBundleID(dependencies.ownBundleID.value_or(std::string(kDefaultBundleID))),
      loop_(dependencies.mainLoop),
      workspace_(dependencies.workspace),
      collator_(dependencies.collationLocale),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    refreshRunningApps();
    launchObserver_ = workspace_.observeLaunch([this](const RunningApplication& app) { handleLaunch(app); });
    terminateObserver_ = workspace_.observeTermination([this](const RunningApplication&) { refreshRunningApps(); });
}

AppManager::~AppManager() { lifeline_->close(); }

void AppManager::refreshRunningApps() {
    const std::vector<RunningApplication> snapshot = workspace_.runningApplications();
    std::size_t regular = 0;
    std::vector<AppInfo> apps;
    apps.reserve(snapshot.size());
    for (const auto& app : snapshot) {
        if (app.activationPolicy != ActivationPolicy::regular) continue;
        ++regular;
        if (app.bundleIdentifier && *app.bundleIdentifier == ownBundleID) continue;
        if (!app.localizedName) continue;
        std::string name = app.localizedName->empty() ? localized("app.unknown") : *app.localizedName;
        apps.push_back(AppInfo{app.processIdentifier, std::move(name), app.bundleIdentifier, app.icon});
    }
    std::stable_sort(apps.begin(), apps.end(),
                     [this](const AppInfo& a, const AppInfo& b) { return collator_.compare(a.name, b.name) < 0; });
    const std::size_t kept = apps.size();
    runningApps = std::move(apps);

    logLine("refreshRunningApps — " + std::to_string(kept) + " uygulama bulundu (toplam: " +
            std::to_string(snapshot.size()) + ", regular: " + std::to_string(regular) + ")");

    if (focusApp.get()) {
        const auto& listed = runningApps.get();
        if (std::find(listed.begin(), listed.end(), *focusApp.get()) == listed.end()) focusApp = std::nullopt;
    }
    updateCoreAllocation();
}

void AppManager::handleLaunch(const RunningApplication& app) {
    refreshRunningApps();
    if (!isFocusModeActive.get()) return;
    if (app.activationPolicy != ActivationPolicy::regular) return;
    if (app.bundleIdentifier && *app.bundleIdentifier == ownBundleID) return;
    const auto& focus = focusApp.get();
    if (!focus || app.processIdentifier == focus->id) return;
    launchedDuringFocus_.send(app.processIdentifier);
}

Async<bool> AppManager::activateFocusMode(XPCManager& xpc) {
    if (!focusApp.get()) co_return true;
    const AppInfo focus = *focusApp.get();
    std::vector<std::int32_t> others;
    for (const auto& app : runningApps.get()) {
        if (app.id != focus.id) others.push_back(app.id);
    }
    if (others.empty()) co_return true;
    const std::size_t count = others.size();

    std::weak_ptr<Lifeline> alive = lifeline_;
    const bool throttled = co_await xpc.throttleMultipleProcesses(std::move(others));
    if (!ownerAlive(alive)) co_return throttled;
    if (!throttled) {
        logLine("Focus mode FAILED for " + focus.name + " — the helper did not throttle the other " +
                std::to_string(count) + " applications: " + xpc.lastError.get().value_or("no reason given"));
        co_return false;
    }

    isFocusModeActive = true;
    updateCoreAllocation();
    logLine("Odak modu aktif — " + focus.name + " odakta, " + std::to_string(count) + " uygulama throttle edildi.");
    co_return true;
}

Async<bool> AppManager::runFocusReleaseSequence(XPCManager& xpc) {
    std::weak_ptr<Lifeline> alive = lifeline_;
    const bool released = co_await xpc.unthrottleAllProcesses();
    if (!ownerAlive(alive)) co_return released;
    isFocusModeActive = false;
    updateCoreAllocation();
    if (released) {
        logLine("Odak modu devre dışı — tüm uygulamalar normale döndürüldü.");
    } else {
        logLine("Focus mode off, but " + std::to_string(xpc.throttledPIDs->size()) +
                " processes could not be released; they are released again when the helper answers");
    }
    co_return released;
}

void AppManager::updateCoreAllocation() {
    // A copy: the observers of the first list may assign focusApp again.
    const std::optional<AppInfo> focus = focusApp.get();
    if (isFocusModeActive.get() && focus) {
        pCoreApps = std::vector<AppInfo>{*focus};
        std::vector<AppInfo> others;
        for (const auto& app : runningApps.get()) {
            if (app.id != focus->id) others.push_back(app);
        }
        eCoreApps = std::move(others);
    } else {
        pCoreApps = runningApps.get();
        eCoreApps = std::vector<AppInfo>{};
    }
}

}  // namespace korvane::app
