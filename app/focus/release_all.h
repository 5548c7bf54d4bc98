#pragma once
// What a user's release means, whoever confined what: focus mode's release
// sequence, then the end of Beast Mode, whose processes only the helper
// knows. Release Focus and Quit run it, so Beast Mode never says it is on
// once everything was let go. Main thread only.
#include "app/runtime/async.h"

namespace korvane::app {

class AppManager;
class AutoTriggerManager;
class XPCManager;

// True when both released everything. `beastMode` may be null. The managers
// outlive the call.
Async<bool> releaseFocusAndBeastMode(AppManager& apps, XPCManager& xpc, AutoTriggerManager* beastMode);

// Whether there is anything for it to release.
bool anythingToRelease(const AppManager& apps, const AutoTriggerManager* beastMode);

}  // namespace korvane::app
