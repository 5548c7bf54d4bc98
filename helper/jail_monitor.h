#pragma once
// Keeps jailed applications under the background policy whenever they run:
// a scan when the list changes, and a tick every 5 seconds that also lets
// the throttle engine forget processes that ended.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "helper/throttle_engine.h"
#include "shared/mainloop/main_loop.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/protocol/messages.h"

namespace korvane::helper {

class ProcessScanner;

// The most bundle IDs one jail list may hold.
inline constexpr std::size_t kMaxJailedBundleIDs = msg::kMaxJailedBundleIDs;

class JailMonitor {
public:
    // Starts the timer. Without a scanner, scans find nothing.
    JailMonitor(ThrottleEngine& engine, ProcessScanner* scanner, MainLoop& mainLoop);
    // Stops the timer and waits for a scan under way, which throttles
    // nothing more from then on.
    ~JailMonitor();
    JailMonitor(const JailMonitor&) = delete;
    JailMonitor& operator=(const JailMonitor&) = delete;

    void update(std::vector<std::string> bundleIDs, const ReplyBlock& reply);
    std::set<std::string> snapshot() const;

    // One tick, all on the calling thread: drop dead pids, then throttle
    // jailed applications not yet throttled. The timer's ticks leave the
    // second half to the scan thread.
    void tick();
    void checkJailedProcesses();

private:
    // Scans asked for by list updates run on one thread, one at a time:
    // updates that come while a scan runs leave one more scan, which reads
    // the newest list when it starts.
    void scanLoop();
    bool requestScan();

    ThrottleEngine& engine_;
    ProcessScanner* scanner_;
    std::set<std::string> jailedBundleIDs_;
    mutable std::mutex jailQueue_;  // "com.korvane.helper.jail"
    Timer timer_;

    std::mutex scansMutex_;
    std::condition_variable scanWanted_;
    bool scanRequested_ = false;
    bool stopScanning_ = false;
    std::atomic<bool> closing_{false};
    std::thread scanThread_;
};

}  // namespace korvane::helper
