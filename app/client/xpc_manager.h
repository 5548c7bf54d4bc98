#pragma once
// XPCManager: the application's one client of the helper daemon. It owns the
// persistent connection (created on first use, dropped on any failure and
// rebuilt by the next call), turns every protocol method into an awaitable
// operation that resumes on the main thread, and publishes what the interface
// shows about the daemon.
//
// Threads: everything here runs on the main thread except the connection's
// completions and handlers, which run on the connection's own queue. Those
// never write a published property; they post main-thread tasks, touch the
// connection slot under `connectionLock`, or complete their call once under
// the call's own mutex. The two locks are never held together.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/client/helper_install_setup.h"
#include "app/client/install_progress.h"
#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/subject.h"
#include "app/runtime/task.h"
#include "shared/client/helper_connection.h"
#include "shared/mainloop/main_loop.h"
#include "shared/protocol/messages.h"

namespace korvane::app {

// What a forwarding call hands back: the daemon's answer, or the connection's
// error text, unchanged.
struct CallOutcome {
    bool success = false;
    std::optional<std::string> error;
    bool operator==(const CallOutcome&) const = default;
};

class XPCManager {
public:
    struct Dependencies {
        MainLoop& mainLoop;
        HelperConnector& connector;
        // Prefixed to the installed files' absolute paths; empty on a real system.
        std::string filesystemRoot;
        // How installHelper and removeHelper reach root; without a runner they
        // report that the installer cannot be launched.
        HelperInstallSetup install{};
    };

    static constexpr std::string_view kNotRespondingError =
        "Daemon installed but not responding. Try Remove & Reinstall.";
    static constexpr std::string_view kCancelledError = "Installation cancelled by user.";
    static constexpr std::string_view kNoApprovalError = "No administrator approval could be asked for.";
    // A helper that accepts a call and never answers must not hang its
    // caller: after this long the call fails as a broken connection would,
    // and the connection is dropped so the next call opens a new one.
    static constexpr Duration kCallTimeout = std::chrono::seconds(10);
    static constexpr std::string_view kNoAnswerError = "The helper did not answer within 10 seconds.";
    // After the helper went away, pings look for its return at growing
    // pauses up to the last one, for this long in all.
    static constexpr Duration kReturnWatchFirstPause = std::chrono::seconds(1);
    static constexpr Duration kReturnWatchLongestPause = std::chrono::seconds(30);
    static constexpr Duration kReturnWatchSpan = std::chrono::minutes(10);

    // Starts the status check as a main-thread task that runs after construction.
    explicit XPCManager(Dependencies dependencies);
    // Abandons calls in flight: their callers are never resumed.
    ~XPCManager();
    XPCManager(const XPCManager&) = delete;
    XPCManager& operator=(const XPCManager&) = delete;

    Published<bool> helperInstalled{false};
    Published<bool> helperActive{false};
    Published<std::set<std::int32_t>> throttledPIDs;
    Published<bool> isFocusModeActive{false};
    Published<bool> isProcessing{false};
    Published<std::optional<std::string>> lastError;
    // The installation's progress lines as they arrive; emptied when an
    // installation starts. Only the install script prints them.
    Published<std::vector<InstallProgressLine>> installProgress;

    // The wrappers. The first four change throttling state and show as busy.
    Async<> throttleProcess(std::int32_t pid);
    // True when the helper throttled them all (it takes all or none).
    Async<bool> throttleMultipleProcesses(std::vector<std::int32_t> pids);
    // True when every recorded process was released; the ones that failed
    // stay recorded and are released again when the helper returns.
    Async<bool> unthrottleAllProcesses();
    // True when the helper carried it out.
    Async<bool> setBeastMode(bool enabled, std::int32_t focusPID);
    Async<CallOutcome> setFanControlMode(std::int64_t fanIndex, bool isManual);
    Async<CallOutcome> setFanTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM);
    Async<bool> updateJailedBundleIDs(std::vector<std::string> bundleIDs);

    // Health.
    Async<> pingHelper();
    TaskHandle checkHelperStatus();
    TaskHandle waitForDaemonAndPing();
    TaskHandle initialStatusCheck() const { return initialStatusCheck_; }

    // Fires when a ping finds the helper answering again after a call, a ping
    // or the connection failed to reach it. A restarted helper knows only its
    // records: whoever keeps state in it sends that state again. The releases
    // that failed while it was away are repeated here before the event.
    Publisher<Done> helperReturned() const { return returned_.publisher(); }

    // Installation and removal, each behind one administrator approval.
    // installHelper returns at once with isProcessing set; the work goes on in
    // a main-thread task (returned) and the approval is awaited on a thread of
    // its own. It ends with isProcessing false and either helperActive, or a
    // text in lastError. removeHelper blocks until the approval and the
    // removal are over, and always leaves the manager believing the helper is
    // gone; a failure or a dismissed dialog is not reported.
    TaskHandle installHelper();
    void removeHelper();

    // The installed files whose presence means "installed".
    std::string helperExecutablePath() const;
    std::string helperServiceFilePath() const;

    // Building blocks for the installer and for tests.
    std::shared_ptr<HelperConnection> getConnection();
    // Forgets the connection and invalidates it (before installing or removing the daemon).
    void dropAndInvalidateConnection();
    // One message; the daemon's failure text, or the connection's, lands in lastError.
    Async<bool> xpcCall(msg::Call call);
    // One message; the result is handed back unchanged and lastError is left alone.
    Async<CallOutcome> xpcCallWithError(msg::Call call);

private:
    // The connection and its lock, shared with the connection's handlers so a
    // handler that outlives the manager finds nothing rather than freed memory.
    struct ConnectionSlot {
        std::mutex connectionLock;
        std::shared_ptr<HelperConnection> persistentConnection;
        std::uint64_t generation = 0;  // which connection the handlers of an old one must not drop
    };
    struct Ticket {
        std::shared_ptr<HelperConnection> connection;
        std::uint64_t generation;
    };

    using Answer = Expected<msg::Reply, ConnectionError>;
    // Posts the state an answer changes; runs on the connection's queue,
    // before the caller resumes.
    using AnswerEffects = std::function<void(const Answer&, Lifeline&)>;

    // One message over the connection, completed exactly once: the reply as
    // it came, or (false, the connection's error text). A failed connection is
    // dropped so the next call reconnects.
    Async<CallOutcome> exchange(msg::Call call, AnswerEffects effects);
    Ticket acquireConnection();
    static void dropConnection(const std::weak_ptr<ConnectionSlot>& slot, std::uint64_t generation);
    // A ping whose failure is logged only when `logFailure`.
    Async<> ping(bool logFailure);
    // Sends `call` on the ticket's connection; `deliver` gets the answer, or a
    // connection error when none comes within kCallTimeout. The timer is the
    // caller's to cancel once the answer is in.
    TimerId sendWithTimeout(const Ticket& ticket, msg::Call call, std::function<void(Answer)> deliver);
    // Main thread: the helper could not be reached.
    void noteLost();
    // Main thread: a ping was answered.
    void noteAnswered();
    Async<> runReturnWatch();
    Async<> repeatOwedReleases();
    Async<> runStatusCheck();
    Async<> runWaitForDaemon();
    bool installedFilesPresent() const;
    Async<> runInstall();
    void finishInstall(const Expected<ProcessResult, LaunchError>& outcome);

    MainLoop& loop_;
    HelperConnector& connector_;
    std::string filesystemRoot_;
    HelperInstallSetup install_;
    std::shared_ptr<ConnectionSlot> slot_ = std::make_shared<ConnectionSlot>();
    std::shared_ptr<Lifeline> lifeline_;
    TaskHandle initialStatusCheck_;
    Subject<Done> returned_;
    bool everAnswered_ = false;
    bool lost_ = false;
    bool watching_ = false;
    // Processes whose release failed; released again when the helper returns
    // unless they were throttled again meanwhile.
    std::set<std::int32_t> owedReleases_;
};

}  // namespace korvane::app
