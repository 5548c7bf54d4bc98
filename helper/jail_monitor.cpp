#include "helper/jail_monitor.h"

#include <map>
#include <system_error>

#include "helper/list_literal.h"
#include "helper/process_scanner.h"
#include "shared/log/log.h"

namespace korvane::helper {

JailMonitor::JailMonitor(ThrottleEngine& engine, ProcessScanner* scanner, MainLoop& mainLoop)
    : engine_(engine), scanner_(scanner) {
    // The scan reads the process table and, for new processes, desktop
    // entries; it runs on the scan thread so that the main loop (replies,
    // the stop on SIGTERM) never waits for it.
    timer_ = Timer::repeating(mainLoop, seconds(5.0), [this] {
        engine_.cleanupDeadPIDs();
        bool jailing = false;
        {
            std::lock_guard lock(jailQueue_);
            jailing = !jailedBundleIDs_.empty();
        }
        if (jailing && !requestScan()) checkJailedProcesses();
    });
    log::write("KorvaneHelper: Process monitoring started (interval: 5s)");
}

JailMonitor::~JailMonitor() {
    timer_.cancel();
    closing_ = true;
    {
        std::lock_guard lock(scansMutex_);
        stopScanning_ = true;
    }
    scanWanted_.notify_all();
    if (scanThread_.joinable()) scanThread_.join();
}

void JailMonitor::tick() {
    engine_.cleanupDeadPIDs();
    checkJailedProcesses();
}

std::set<std::string> JailMonitor::snapshot() const {
    std::lock_guard lock(jailQueue_);
    return jailedBundleIDs_;
}

void JailMonitor::update(std::vector<std::string> bundleIDs, const ReplyBlock& reply) {
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

bool JailMonitor::requestScan() {
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

void JailMonitor::scanLoop() {
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

void JailMonitor::checkJailedProcesses() {
    std::set<std::string> copy;
    {
        std::lock_guard lock(jailQueue_);
        copy = jailedBundleIDs_;
    }
    if (copy.empty()) return;
    log::write("KorvaneHelper: checkJailedProcesses — scanning for " + std::to_string(copy.size()) +
               " jailed bundle IDs: " + listLiteral(copy));
    std::vector<JailMatch> matches;
    ProcessFamily family;
    if (scanner_) matches = scanner_->pidsForBundleIDs(copy, &family);
    log::write("KorvaneHelper: checkJailedProcesses — found " + std::to_string(matches.size()) +
               " matching processes");
    // A scan under way throttles nothing more once the helper is going.
    if (closing_ || matches.empty()) return;
    std::vector<std::int32_t> pids;
    std::map<std::int32_t, std::string> appOf;
    for (const auto& match : matches) {
        pids.push_back(match.pid);
        appOf.emplace(match.pid, match.bundleID);
    }
    engine_.applyEachUnlessHeld(
        pids,
        [&](std::int32_t pid) {
            return "KorvaneHelper: Auto-throttling jailed app: " + appOf[pid] + " (PID: " + std::to_string(pid) + ")";
        },
        &family);
}

}  // namespace korvane::helper
