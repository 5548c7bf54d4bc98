#include "app/focus/release_all.h"

#include "app/focus/app_manager.h"
#include "app/focus/auto_trigger_manager.h"

namespace korvane::app {

Async<bool> releaseFocusAndBeastMode(AppManager& apps, XPCManager& xpc, AutoTriggerManager* beastMode) {
    bool released = co_await apps.runFocusReleaseSequence(xpc);
    if (beastMode && beastMode->isBeastModeActive.get()) released = co_await beastMode->releaseNow() && released;
    co_return released;
}

bool anythingToRelease(const AppManager& apps, const AutoTriggerManager* beastMode) {
    return apps.isFocusModeActive.get() || (beastMode && beastMode->isBeastModeActive.get());
}

}  // namespace korvane::app
