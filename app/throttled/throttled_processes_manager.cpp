#include "app/throttled/throttled_processes_manager.h"

#include <unordered_map>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/focus/owner_alive.h"
#include "app/focus/release_all.h"
#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"

namespace korvane::app {

ThrottledProcessesManager::ThrottledProcessesManager(Dependencies dependencies)
    : loop_(dependencies.mainLoop),
      reader_(dependencies.reader),
      appManager_(std::move(dependencies.appManager)),
      xpcManager_(std::move(dependencies.xpcManager)),
      autoTriggerManager_(std::move(dependencies.autoTriggerManager)),
      eCoreJailManager_(dependencies.eCoreJailManager),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {}

ThrottledProcessesManager::~ThrottledProcessesManager() { lifeline_->close(); }

std::vector<ThrottledProcess> ThrottledProcessesManager::attribute(const std::vector<ConfinedProcess>& confined,
                                                                  const ThrottleCauses& causes,
                                                                  const AppNames& appNames) {
    const std::unordered_map<std::int32_t, std::string> names(appNames.begin(), appNames.end());
    std::vector<ThrottledProcess> list;
    list.reserve(confined.size());
    for (const auto& process : confined) {
        ThrottledProcess entry{process.pid, process.name, process.cpus, 0};
        // A listed application by its own name; a process it started with
        // that name beside its own ("Web Content (Browser)").
        if (auto named = names.find(process.pid); named != names.end()) {
            entry.name = named->second;
        } else {
            for (std::int32_t ancestor : process.ancestors) {
                if (auto owner = names.find(ancestor); owner != names.end()) {
                    entry.name += " (" + owner->second + ")";
                    break;
                }
            }
        }
        // The helper confines a process with its descendants, so a child
        // counts for whatever confined its application.
        auto mark = [&](std::int32_t pid) {
            if (causes.focusPIDs.contains(pid)) entry.reasons |= kThrottledForFocus;
            if (causes.jailedAppPIDs.contains(pid)) entry.reasons |= kThrottledForJail;
        };
        mark(process.pid);
        for (std::int32_t ancestor : process.ancestors) mark(ancestor);
        // Beast Mode confines every other application process, and keeps no
        // list of them the application could see.
        if (entry.reasons == 0 && causes.beastModeActive) entry.reasons = kThrottledForBeastMode;
        list.push_back(std::move(entry));
    }
    return list;
}

ThrottleCauses ThrottledProcessesManager::currentCauses() const {
    ThrottleCauses causes;
    if (auto xpc = xpcManager_.lock()) causes.focusPIDs = xpc->throttledPIDs.get();
    if (auto trigger = autoTriggerManager_.lock()) causes.beastModeActive = trigger->isBeastModeActive.get();
    auto apps = appManager_.lock();
    if (apps && eCoreJailManager_) {
        std::set<std::string> jailed;
        for (const auto& item : eCoreJailManager_->jailedApps.get()) jailed.insert(item.bundleIdentifier);
        for (const auto& app : apps->runningApps.get()) {
            if (app.bundleIdentifier && jailed.contains(*app.bundleIdentifier)) causes.jailedAppPIDs.insert(app.id);
        }
    }
    return causes;
}

void ThrottledProcessesManager::refresh() {
    auto confined = reader_.readConfined();
    if (!confined) {
        readError = confined.error();
        processes = std::vector<ThrottledProcess>{};
        return;
    }
    AppNames names;
    if (auto apps = appManager_.lock()) {
        for (const auto& app : apps->runningApps.get()) names.emplace_back(app.id, app.name);
    }
    if (readError.get()) readError = std::nullopt;
    processes = attribute(*confined, currentCauses(), names);
}

void ThrottledProcessesManager::startWatching() {
    refresh();
    watchTimer_ = Timer::repeating(loop_, kWatchInterval, [this] { refresh(); });
}

void ThrottledProcessesManager::stopWatching() { watchTimer_.cancel(); }

TaskHandle ThrottledProcessesManager::releaseAll() {
    return spawn(lifeline_, [this]() -> Async<> {
        auto xpc = xpcManager_.lock();
        if (!xpc || isReleasing.get()) co_return;
        isReleasing = true;
        releaseError = std::nullopt;
        std::weak_ptr<Lifeline> alive = lifeline_;
        // Focus mode and Beast Mode end the way the popover's Release Focus
        // ends them, so neither says it is on over applications that run free.
        auto beastMode = autoTriggerManager_.lock();
        if (auto apps = appManager_.lock(); apps && anythingToRelease(*apps, beastMode.get())) {
            co_await releaseFocusAndBeastMode(*apps, *xpc, beastMode.get());
            if (!ownerAlive(alive)) co_return;
        }
        CallOutcome outcome = co_await xpc->xpcCallWithError(msg::UnthrottleAllProcesses{});
        if (!ownerAlive(alive)) co_return;
        if (outcome.success) {
            logLine("Throttled now: every process the helper held is released");
        } else {
            const std::string reason = outcome.error.value_or(localized("error.unknown"));
            releaseError = reason;
            logLine("Throttled now: releasing failed — " + reason);
        }
        isReleasing = false;
        refresh();
    });
}

}  // namespace korvane::app
