// The jail monitor of HelperTool: keeps jailed applications under the
// background policy whenever they run, and forgets pids of ended processes.
#include <system_error>
#include <thread>

#include "helper/helper_tool.h"
#include "helper/list_literal.h"
#include "helper/process_scanner.h"
#include "shared/log/log.h"

namespace korvane::helper {

void HelperTool::startMonitoring() {
    // The scan reads the process table and, for new processes, desktop
    // entries; it runs on the scan thread so that the main loop (replies,
    // the stop on SIGTERM) never waits for it.
    monitoringTimer_ = Timer::repeating(deps_.mainLoop, seconds(5.0), [this] {
        cleanupDeadPIDs();
        bool jailing = false;
        {
            std::lock_guard lock(jailQueue_);
            jailing = !jailedBundleIDs_.empty();
        }
        if (jailing && !requestScan()) checkJailedProcesses();
    });
    log::write("KorvaneHelper: Process monitoring started (interval: 5s)");
}

void HelperTool::monitoringTick() {
    cleanupDeadPIDs();
    checkJailedProcesses();
}

void HelperTool::cleanupDeadPIDs() {
    std::lock_guard lock(pidsQueue_);
    std::size_t before = throttledPIDs_.size();
    // Gone, or the pid now names a later process: either way not ours.
    std::erase_if(throttledPIDs_, [this](const auto& entry) {
        return deps_.startTimeOf(entry.first) != std::optional(entry.second);
    });
    std::size_t dropped = before - throttledPIDs_.size();
    if (dropped > 0) {
        saveThrottledLocked();
        log::write("KorvaneHelper: cleanupDeadPIDs — " + std::to_string(dropped) + " ölü PID temizlendi (kalan: " +
                   std::to_string(throttledPIDs_.size()) + ")");
    }
}

void HelperTool::updateJailedBundleIDs(std::vector<std::string> bundleIDs, ReplyBlock reply) {
    if (bundleIDs.size() > kMaxJailedBundleIDs) {
        std::string message = "Too many jailed applications: " + std::to_string(bundleIDs.size()) + " (at most " +
                              std::to_string(kMaxJailedBundleIDs) + ")";
        log::write("KorvaneHelper: " + message);
        reply(false, message);
        return;
    }
    {
        std::lock_guard lock(jailQueue_);
        jailedBundleIDs_ = std::set<std::string>(bundleIDs.begin(), bundleIDs.end());
    }
    log::write("KorvaneHelper: Jailed bundle IDs updated: " + listLiteral(bundleIDs));
    // Without a scan thread the next tick scans instead.
    requestScan();
    reply(true, std::nullopt);
}

bool HelperTool::requestScan() {
    std::lock_guard lock(scansMutex_);
    if (stopScanning_) return false;
    if (!scanThread_.joinable()) {
        try {
            scanThread_ = std::thread([this] { scanLoop(); });
        } catch (const std::system_error&) {
            log::write("KorvaneHelper: No thread for the jail scan; the next tick scans");
            return false;
        }
    }
    scanRequested_ = true;
    scanWanted_.notify_one();
    return true;
}

void HelperTool::scanLoop() {
    std::unique_lock lock(scansMutex_);
    for (;;) {
        scanWanted_.wait(lock, [this] { return scanRequested_ || stopScanning_; });
        if (stopScanning_) return;
        scanRequested_ = false;
        lock.unlock();
        checkJailedProcesses();
        lock.lock();
    }
}

void HelperTool::checkJailedProcesses() {
    std::set<std::string> copy;
    {
        std::lock_guard lock(jailQueue_);
        copy = jailedBundleIDs_;
    }
    if (copy.empty()) return;
    log::write("KorvaneHelper: checkJailedProcesses — scanning for " + std::to_string(copy.size()) +
               " jailed bundle IDs: " + listLiteral(copy));
    std::vector<JailMatch> matches;
    if (deps_.scanner) matches = deps_.scanner->pidsForBundleIDs(copy);
    log::write("KorvaneHelper: checkJailedProcesses — found " + std::to_string(matches.size()) +
               " matching processes");
    for (const auto& match : matches) {
        if (closing_) return;
        // Test and insert under one hold of the lock, the tool run included, so
        // two scans never throttle one process twice.
        std::lock_guard lock(pidsQueue_);
        // A pid on record for a process that has ended names a stranger now,
        // one that may well be jailed too.
        if (stillNamesLocked(match.pid)) continue;
        log::write("KorvaneHelper: Auto-throttling jailed app: " + match.bundleID + " (PID: " +
                   std::to_string(match.pid) + ")");
        runTaskPolicy(true, match.pid, [&](bool success, const std::optional<std::string>&) {
            if (success) noteThrottledLocked(match.pid);
        });
    }
}

}  // namespace korvane::helper
