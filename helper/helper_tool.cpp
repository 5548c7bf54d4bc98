#include "helper/helper_tool.h"

#include <signal.h>

#include "shared/log/log.h"

namespace korvane::helper {

HelperTool::HelperTool(HelperToolDependencies deps) : deps_(std::move(deps)) {
    if (!deps_.processExists) {
        deps_.processExists = [](std::int32_t pid) { return ::kill(pid, 0) == 0; };
    }
    startMonitoring();
}

HelperTool::~HelperTool() {
    monitoringTimer_.cancel();
    // A scan started by a jail-list update may still be running on its own
    // thread; it uses this object, so wait for it.
    std::unique_lock lock(scansMutex_);
    scansDone_.wait(lock, [this] { return scansRunning_ == 0; });
}

std::set<std::string> HelperTool::jailedBundleIDsSnapshot() const {
    std::lock_guard lock(jailQueue_);
    return jailedBundleIDs_;
}

}  // namespace korvane::helper
