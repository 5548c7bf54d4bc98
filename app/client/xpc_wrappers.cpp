// The operations the managers call. The four that change throttling state
// share one frame: busy on, lastError cleared, the call(s), the state update,
// busy off. The other three only forward.
#include <string>

#include "app/client/xpc_manager.h"
#include "app/runtime/app_log.h"

namespace korvane::app {

Async<> XPCManager::throttleProcess(std::int32_t pid) {
    isProcessing = true;
    lastError = std::nullopt;
    // The message is built before the await: g++ 12 destroys a temporary
    // aggregate inside a co_await expression twice.
    msg::Call call = msg::ThrottleProcess{pid};
    bool succeeded = co_await xpcCall(std::move(call));
    if (succeeded) {
        throttledPIDs.modify([pid](auto& pids) { pids.insert(pid); });
        owedReleases_.erase(pid);  // throttled again on purpose
    }
    isProcessing = false;
}

Async<bool> XPCManager::throttleMultipleProcesses(std::vector<std::int32_t> pids) {
    isProcessing = true;
    lastError = std::nullopt;
    // The daemon answers once for the whole list: all are recorded or none.
    // An empty list is sent too.
    msg::Call call = msg::ThrottleMultipleProcesses{pids};
    bool succeeded = co_await xpcCall(std::move(call));
    if (succeeded) {
        throttledPIDs.modify([&pids](auto& recorded) { recorded.insert(pids.begin(), pids.end()); });
        for (std::int32_t pid : pids) owedReleases_.erase(pid);
        logLine(std::to_string(pids.size()) + " işlem XPC üzerinden throttle edildi.");
    }
    isProcessing = false;
    co_return succeeded;
}

Async<bool> XPCManager::unthrottleAllProcesses() {
    isProcessing = true;
    lastError = std::nullopt;
    if (throttledPIDs->empty()) {
        isProcessing = false;
        co_return true;
    }
    std::vector<std::int32_t> snapshot(throttledPIDs->begin(), throttledPIDs->end());
    bool allSucceeded = true;
    // One at a time, so the daemon's taskpolicy runs never pile up.
    for (std::int32_t pid : snapshot) {
        msg::Call call = msg::UnthrottleProcess{pid};
        bool succeeded = co_await xpcCall(std::move(call));
        if (succeeded) {
            throttledPIDs.modify([pid](auto& pids) { pids.erase(pid); });
        } else {
            allSucceeded = false;
            owedReleases_.insert(pid);
        }
    }
    if (allSucceeded) {
        throttledPIDs = std::set<std::int32_t>{};
        logLine(std::to_string(snapshot.size()) + " işlem normale döndürüldü.");
    }
    isProcessing = false;
    co_return allSucceeded;
}

Async<bool> XPCManager::setBeastMode(bool enabled, std::int32_t focusPID) {
    isProcessing = true;
    lastError = std::nullopt;
    msg::Call call = msg::SetBeastMode{enabled, focusPID};
    bool succeeded = co_await xpcCall(std::move(call));
    if (succeeded) {
        if (enabled) {
            // The processes Beast Mode throttles are tracked by the daemon only.
            isFocusModeActive = true;
            logLine("Beast Mode aktifleştirildi (PID: " + std::to_string(focusPID) + ").");
        } else {
            // The daemon has released everything it tracked, focus mode's pids included.
            isFocusModeActive = false;
            throttledPIDs = std::set<std::int32_t>{};
            owedReleases_.clear();
            logLine("Beast Mode devre dışı bırakıldı.");
        }
    }
    isProcessing = false;
    co_return succeeded;
}

Async<CallOutcome> XPCManager::setFanControlMode(std::int64_t fanIndex, bool isManual) {
    msg::Call call = msg::SetFanControlMode{fanIndex, isManual};
    co_return co_await xpcCallWithError(std::move(call));
}

Async<CallOutcome> XPCManager::setFanTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM) {
    msg::Call call = msg::SetFanTargetRPM{fanIndex, targetRPM};
    co_return co_await xpcCallWithError(std::move(call));
}

Async<bool> XPCManager::updateJailedBundleIDs(std::vector<std::string> bundleIDs) {
    msg::Call call = msg::UpdateJailedBundleIDs{std::move(bundleIDs)};
    co_return co_await xpcCall(std::move(call));
}

}  // namespace korvane::app
