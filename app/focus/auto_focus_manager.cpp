#include "app/focus/auto_focus_manager.h"

#include <algorithm>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/runtime/app_log.h"
#include "app/runtime/task.h"
#include "app/shell/notifications/notification_manager.h"

namespace korvane::app {

AutoFocusManager::AutoFocusManager(Dependencies dependencies)
    : ownBundleID(dependencies.ownBundleID.value_or(std::string(AppManager::kDefaultBundleID))),
      loop_(dependencies.mainLoop),
      workspace_(dependencies.workspace),
      settings_(dependencies.settings),
      list_(targets, dependencies.settings, kTargetsKey),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    isEnabled.setChangeHook([this](const bool& previous) {
        if (isEnabled.get() == previous) return;
        settings_.setBool(kEnabledKey, isEnabled.get());
        if (isEnabled.get()) startObserving();
        else stopObserving();
    });
    targets.setChangeHook([this](const std::vector<AutoFocusTarget>&) { list_.save(); });
}

AutoFocusManager::~AutoFocusManager() { lifeline_->close(); }

void AutoFocusManager::configure(Collaborators collaborators) {
    collaborators_ = std::move(collaborators);
    if (auto xpc = collaborators_.xpcManager.lock()) {
        returnObserver_ = xpc->helperReturned().subscribe([this](const Done&) { recheckFront(); });
    }
    loadTargets();
    const bool stored = settings_.boolValue(kEnabledKey);
    if (stored != isEnabled.get()) isEnabled = stored;
}

bool AutoFocusManager::isTarget(const std::optional<std::string>& bundleIdentifier) const {
    return bundleIdentifier && list_.contains(*bundleIdentifier);
}

void AutoFocusManager::addTarget(const std::string& name, const std::string& bundleID) { list_.add(name, bundleID); }

void AutoFocusManager::removeTargetByID(const std::string& bundleID) { list_.removeByID(bundleID); }

void AutoFocusManager::loadTargets() { list_.load(); }

void AutoFocusManager::startObserving() {
    if (activationObserver_.active()) return;
    activationObserver_ =
        workspace_.observeActivation([this](const RunningApplication& app) { scheduleActivation(app); });
    absence_.emplace(loop_, workspace_, [this] { scheduleActivation(std::nullopt); });
    // Switching on while a target is already in front engages at once.
    if (auto front = workspace_.frontmostApplication()) scheduleActivation(std::move(*front));
}

void AutoFocusManager::stopObserving() {
    activationObserver_.cancel();
    absence_.reset();
    if (!autoFocusActive.get()) return;
    spawn(lifeline_, [this]() -> Async<> {
        co_await releaseFocus();
        // Switched on again while the helper answered: the target then in
        // front found focus still on and was passed over.
        recheckFront();
    });
}

void AutoFocusManager::beastModeEnded() {
    if (autoFocusActive.get()) {
        autoFocusActive = false;
        focusedAppIcon = std::nullopt;
    }
    recheckFront();
}

void AutoFocusManager::scheduleActivation(std::optional<RunningApplication> app) {
    spawn(lifeline_, [this, app = std::move(app)]() -> Async<> { co_await handleAppActivation(app); });
}

Async<> AutoFocusManager::handleAppActivation(std::optional<RunningApplication> front) {
    auto appManager = collaborators_.appManager.lock();
    auto xpc = collaborators_.xpcManager.lock();
    if (!appManager || !xpc) co_return;
    if (!isEnabled.get() || isTransitioning_) co_return;
    // An activation still awaiting the helper counts: engaging beside it
    // would throttle the trigger application Beast Mode has just spared.
    if (auto trigger = collaborators_.autoTriggerManager.lock();
        trigger && (trigger->isBeastModeActive.get() || trigger->isActivating())) {
        logLine("AutoFocus — Beast Mode aktif, AutoFocus tetiklenmedi");
        co_return;
    }
    // Nothing in front is no target, and not our own window either.
    const RunningApplication app = front.value_or(RunningApplication{});
    const bool target = front && isTarget(app.bundleIdentifier);
    if (app.bundleIdentifier && *app.bundleIdentifier == ownBundleID) co_return;
    const std::string shownName = app.localizedName.value_or("?");

    if (!target) {
        if (!autoFocusActive.get()) co_return;
        isTransitioning_ = true;
        appManager.reset();  // the awaits below must not keep collaborators alive
        xpc.reset();
        co_await releaseFocus();
        logLine("Auto-Focus serbest bırakıldı — " + shownName);
        isTransitioning_ = false;
        recheckFront();
        co_return;
    }

    if (appManager->isFocusModeActive.get()) co_return;
    isTransitioning_ = true;
    isEngaging_ = true;
    appManager->refreshRunningApps();
    const auto& listed = appManager->runningApps.get();
    auto entry = std::find_if(listed.begin(), listed.end(),
                              [&](const AppInfo& a) { return a.bundleIdentifier == app.bundleIdentifier; });
    if (entry == listed.end()) {
        isTransitioning_ = false;
        isEngaging_ = false;
        co_return;
    }
    const AppInfo chosen = *entry;
    appManager->focusApp = chosen;
    bool engaged = false;
    {
        Async<bool> activation = appManager->activateFocusMode(*xpc);
        appManager.reset();
        xpc.reset();
        engaged = co_await std::move(activation);
    }
    if (!engaged) {
        // Nothing is throttled, so nothing looks engaged; the helper's
        // return looks at the front again.
        isTransitioning_ = false;
        isEngaging_ = false;
        logLine("Auto-Focus FAILED for " + shownName + "; tried again when the helper answers again");
        co_return;
    }

    autoFocusActive = true;
    focusedAppIcon = app.icon;
    if (auto notifications = collaborators_.notificationManager.lock()) {
        notifications->sendFocusActivatedNotification(app.localizedName.value_or(chosen.name));
    }
    logLine("Auto-Focus tetiklendi — " + shownName);
    isTransitioning_ = false;
    isEngaging_ = false;

    // Switched off while the helper was answering: the release that switching
    // off would have run found nothing engaged yet, so it runs now.
    if (!isEnabled.get()) {
        co_await releaseFocus();
        co_return;
    }
    recheckFront();
}

// Activations that arrive while the helper answers are dropped, so the front
// may have moved on meanwhile: a non-target in front of an engaged focus, or
// a target in front of a released one. The front is looked at once more, so
// focus never stays on (confining the application the user works in) or off
// because of a change that came a few milliseconds too early.
void AutoFocusManager::recheckFront() {
    if (!isEnabled.get() || !activationObserver_.active()) return;
    auto front = workspace_.frontmostApplication();
    if (!front) {
        // Nothing in front counts once it has lasted; it may only be a blink.
        if (autoFocusActive.get() && absence_) absence_->lookAgain();
        return;
    }
    if (isTarget(front->bundleIdentifier) != autoFocusActive.get()) scheduleActivation(std::move(*front));
}

Async<> AutoFocusManager::releaseFocus() {
    std::optional<Async<bool>> sequence;
    {
        auto appManager = collaborators_.appManager.lock();
        auto xpc = collaborators_.xpcManager.lock();
        if (!appManager || !xpc) co_return;
        sequence.emplace(appManager->runFocusReleaseSequence(*xpc));
    }
    co_await std::move(*sequence);
    autoFocusActive = false;
    focusedAppIcon = std::nullopt;
}

}  // namespace korvane::app
