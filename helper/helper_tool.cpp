#include "helper/helper_tool.h"

#include "platform/linux/proc/process_tree.h"
#include "shared/log/log.h"

namespace korvane::helper {

HelperTool::HelperTool(HelperToolDependencies deps) : deps_(std::move(deps)) {
    if (!deps_.startTimeOf) {
        deps_.startTimeOf = [](std::int32_t pid) { return linux_platform::readStartTime("/proc", pid); };
    }
    loadThrottled();
    startMonitoring();
}

HelperTool::~HelperTool() {
    monitoringTimer_.cancel();
    // A scan asked for by a jail-list update may still be running; it uses
    // this object, so wait for it.
    closing_ = true;
    {
        std::lock_guard lock(scansMutex_);
        stopScanning_ = true;
    }
    scanWanted_.notify_all();
    if (scanThread_.joinable()) scanThread_.join();
}

std::set<std::string> HelperTool::jailedBundleIDsSnapshot() const {
    std::lock_guard lock(jailQueue_);
    return jailedBundleIDs_;
}

}  // namespace korvane::helper
