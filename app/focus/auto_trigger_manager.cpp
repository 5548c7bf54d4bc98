#include "app/focus/auto_trigger_manager.h"

#include <algorithm>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/runtime/task.h"
#include "app/shell/notifications/notification_manager.h"

namespace korvane::app {

AutoTriggerManager::AutoTriggerManager(Dependencies dependencies)
    : loop_(dependencies.mainLoop),
      workspace_(dependencies.workspace),
      settings_(dependencies.settings),
      list_(triggerApps, dependencies.settings, kAppsKey),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    isEnabled.setChangeHook([this](const bool& previous) {
        if (isEnabled.get() == previous) return;
        settings_.setBool(kEnabledKey, isEnabled.get());
        if (!isConfigured_) return;
        if (isEnabled.get()) startObserving();
        else stopObserving();
    });
    triggerApps.setChangeHook([this](const std::vector<AutoTriggerApp>&) { list_.save(); });
    list_.load();
    isEnabled = settings_.boolValue(kEnabledKey);
}

AutoTriggerManager::~AutoTriggerManager() { lifeline_->close(); }

void AutoTriggerManager::configure(Collaborators collaborators) {
    collaborators_ = std::move(collaborators);
    if (auto xpc = collaborators_.xpcManager.lock()) {
        returnObserver_ = xpc->helperReturned().subscribe([this](const Done&) { helperReturned(); });
    }
    isConfigured_ = true;
    if (isEnabled.get()) startObserving();
    else stopObserving();
}

void AutoTriggerManager::addApp(const std::string& name, const std::string& bundleID) { list_.add(name, bundleID); }

void AutoTriggerManager::removeApp(const std::set<std::size_t>& positions) {
    triggerApps.modify([&](std::vector<AutoTriggerApp>& list) {
        std::vector<AutoTriggerApp> kept;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!positions.contains(i)) kept.push_back(std::move(list[i]));
        }
        list = std::move(kept);
    });
}

void AutoTriggerManager::removeAppByID(const std::string& bundleID) { list_.removeByID(bundleID); }

bool AutoTriggerManager::isTrigger(const std::optional<std::string>& bundleIdentifier) const {
    // An application without an ID is matched as the empty text, which no
    // trigger can have.
    return list_.contains(bundleIdentifier.value_or(std::string()));
}

void AutoTriggerManager::startObserving() {
    if (activationObserver_.active()) return;
    activationObserver_ =
        workspace_.observeActivation([this](const RunningApplication& app) { handleAppActivation(app); });
    terminationObserver_ =
        workspace_.observeTermination([this](const RunningApplication& app) { handleAppTermination(app); });
    absence_.emplace(loop_, workspace_, [this] { handleNothingInFront(); });
    if (auto front = workspace_.frontmostApplication()) handleAppActivation(*front);
}

void AutoTriggerManager::stopObserving() {
    activationObserver_.cancel();
    terminationObserver_.cancel();
    absence_.reset();
    deactivationTimer_.cancel();
    if (isBeastModeActive.get()) scheduleDeactivation();
}

void AutoTriggerManager::handleAppActivation(const RunningApplication& app) {
    if (!isEnabled.get()) return;
    // An engagement still awaiting the helper counts as holding focus.
    if (auto autoFocus = collaborators_.autoFocusManager.lock();
        autoFocus && (autoFocus->autoFocusActive.get() || autoFocus->isEngaging())) {
        logLine("AutoTrigger — AutoFocus aktif, Beast Mode tetiklenmedi");
        return;
    }
    if (!isTrigger(app.bundleIdentifier)) {
        if (isBeastModeActive.get()) startDeactivationTimer();
        return;
    }
    deactivationTimer_.cancel();
    if (isBeastModeActive.get() || isActivating_) return;
    spawn(lifeline_, [this, app]() -> Async<> { co_await activateBeastMode(app); });
}

// As a non-trigger coming to the front: the trigger has left it.
void AutoTriggerManager::handleNothingInFront() {
    if (isEnabled.get() && isBeastModeActive.get()) startDeactivationTimer();
}

void AutoTriggerManager::handleAppTermination(const RunningApplication& app) {
    if (!isTrigger(app.bundleIdentifier) || !isBeastModeActive.get()) return;
    auto front = workspace_.frontmostApplication();
    if (front && isTrigger(front->bundleIdentifier)) {
        deactivationTimer_.cancel();
        return;
    }
    startDeactivationTimer();
}

void AutoTriggerManager::startDeactivationTimer() {
    deactivationTimer_ = Timer::once(loop_, deactivationDelay, [this] { scheduleDeactivation(); });
}

void AutoTriggerManager::scheduleDeactivation() {
    spawn(lifeline_, [this]() -> Async<> { co_await deactivateBeastMode(); });
}

Async<> AutoTriggerManager::activateBeastMode(RunningApplication app) {
    std::optional<Async<bool>> call;
    {
        auto xpc = collaborators_.xpcManager.lock();
        if (!xpc || isActivating_) co_return;
        call.emplace(xpc->setBeastMode(true, app.processIdentifier));
    }
    isActivating_ = true;
    if (!co_await std::move(*call)) {
        isActivating_ = false;
        logLine("Auto-Trigger — Beast Mode activation FAILED for " + app.localizedName.value_or("unknown") +
                "; tried again when the trigger comes to the front or the helper answers again");
        co_return;
    }
    isBeastModeActive = true;

    if (auto appManager = collaborators_.appManager.lock()) {
        appManager->refreshRunningApps();
        const auto& listed = appManager->runningApps.get();
        auto entry = std::find_if(listed.begin(), listed.end(),
                                  [&](const AppInfo& a) { return a.bundleIdentifier == app.bundleIdentifier; });
        if (entry != listed.end()) appManager->focusApp = *entry;
        appManager->isFocusModeActive = true;
        appManager->updateCoreAllocation();
    }
    if (auto notifications = collaborators_.notificationManager.lock()) {
        notifications->sendFocusActivatedNotification(app.localizedName.value_or(localized("app.unknown")));
    }
    logLine("Auto-Trigger — Beast Mode ACTIVATED for " + app.localizedName.value_or("unknown"));
    isActivating_ = false;

    // While the helper was answering, the non-trigger paths could not start
    // the deactivation wait; the front is looked at again now, so Beast Mode
    // never stays on with no trigger in front. Switching off meanwhile found
    // nothing to deactivate yet, so the deactivation runs now.
    if (!isEnabled.get() || !activationObserver_.active()) {
        scheduleDeactivation();
        co_return;
    }
    auto front = workspace_.frontmostApplication();
    if (!front || !isTrigger(front->bundleIdentifier)) startDeactivationTimer();
}

Async<> AutoTriggerManager::deactivateBeastMode() {
    std::optional<Async<bool>> call;
    {
        auto xpc = collaborators_.xpcManager.lock();
        if (!xpc || !isBeastModeActive.get() || isDeactivating_) co_return;
        call.emplace(xpc->setBeastMode(false, 0));
    }
    isDeactivating_ = true;
    const bool released = co_await std::move(*call);
    isDeactivating_ = false;
    if (!released) {
        // Beast Mode stays on, as its processes do, until a deactivation works.
        deactivationOwed_ = true;
        logLine("Auto-Trigger — Beast Mode deactivation FAILED; its processes stay throttled until the helper "
                "answers again");
        co_return;
    }
    deactivationOwed_ = false;
    isBeastModeActive = false;
    if (auto appManager = collaborators_.appManager.lock()) {
        appManager->isFocusModeActive = false;
        appManager->updateCoreAllocation();
    }
    logLine("Auto-Trigger — Beast Mode DEACTIVATED");
    // The helper released everything it held, Auto-Focus's processes too.
    if (auto autoFocus = collaborators_.autoFocusManager.lock()) autoFocus->beastModeEnded();

    // A trigger that came to the front while the helper was answering found
    // Beast Mode still on and started nothing; it starts it now.
    if (!isEnabled.get() || !activationObserver_.active()) co_return;
    if (auto front = workspace_.frontmostApplication(); front && isTrigger(front->bundleIdentifier)) {
        handleAppActivation(*front);
    }
}

// The helper is back after it went away, knowing only its records: a
// deactivation that failed meanwhile is repeated, unless a trigger is in
// front again (its processes are still throttled, so Beast Mode is really on);
// a trigger in front that could not start Beast Mode starts it now.
void AutoTriggerManager::helperReturned() {
    const bool following = isEnabled.get() && activationObserver_.active();
    auto front = following ? workspace_.frontmostApplication() : std::nullopt;
    const bool triggerInFront = front && isTrigger(front->bundleIdentifier);
    if (deactivationOwed_) {
        if (triggerInFront) {
            deactivationOwed_ = false;
            deactivationTimer_.cancel();
        } else {
            scheduleDeactivation();
        }
        return;
    }
    if (triggerInFront) handleAppActivation(*front);
}

}  // namespace korvane::app
