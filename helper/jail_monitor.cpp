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
    monitoringTimer_ = Timer::repeating(deps_.mainLoop, seconds(5.0), [this] { monitoringTick(); });
    log::write("KorvaneHelper: Process monitoring started (interval: 5s)");
}

void HelperTool::monitoringTick() {
    cleanupDeadPIDs();
    checkJailedProcesses();
}

void HelperTool::cleanupDeadPIDs() {
    std::lock_guard lock(pidsQueue_);
    std::size_t before = throttledPIDs_.size();
    std::erase_if(throttledPIDs_, [this](std::int32_t pid) { return !deps_.processExists(pid); });
    std::size_t dropped = before - throttledPIDs_.size();
    if (dropped > 0) {
        log::write("KorvaneHelper: cleanupDeadPIDs — " + std::to_string(dropped) + " ölü PID temizlendi (kalan: " +
                   std::to_string(throttledPIDs_.size()) + ")");
    }
}

void HelperTool::updateJailedBundleIDs(std::vector<std::string> bundleIDs, ReplyBlock reply) {
    {
        std::lock_guard lock(jailQueue_);
        jailedBundleIDs_ = std::set<std::string>(bundleIDs.begin(), bundleIDs.end());
    }
    log::write("KorvaneHelper: Jailed bundle IDs updated: " + listLiteral(bundleIDs));
    {
        std::lock_guard lock(scansMutex_);
        ++scansRunning_;
    }
    try {
        std::thread([this] {
            checkJailedProcesses();
            std::lock_guard lock(scansMutex_);
            --scansRunning_;
            scansDone_.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // Out of threads: the next tick scans instead.
        std::lock_guard lock(scansMutex_);
        --scansRunning_;
    }
    reply(true, std::nullopt);
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
        // Test and insert under one hold of the lock, the tool run included, so
        // two scans never throttle one process twice.
        std::lock_guard lock(pidsQueue_);
        if (throttledPIDs_.contains(match.pid)) continue;
        log::write("KorvaneHelper: Auto-throttling jailed app: " + match.bundleID + " (PID: " +
                   std::to_string(match.pid) + ")");
        runTaskPolicy(true, match.pid, [&](bool success, const std::optional<std::string>&) {
            if (success) throttledPIDs_.insert(match.pid);
        });
    }
}

}  // namespace korvane::helper
