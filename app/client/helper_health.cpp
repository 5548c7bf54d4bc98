// Whether the daemon is installed and answering: the ping, the status check
// and the wait for a freshly installed daemon.
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "app/client/once_only_call.h"
#include "app/client/xpc_manager.h"
#include "app/runtime/app_log.h"
#include "app/runtime/completion.h"
#include "app/runtime/sleep.h"
#include "shared/paths/installed_paths.h"

namespace korvane::app {

std::string XPCManager::helperExecutablePath() const {
    return filesystemRoot_ + std::string(paths::kHelperExecutable);
}

std::string XPCManager::helperServiceFilePath() const {
    return filesystemRoot_ + std::string(paths::kHelperServiceFile);
}

bool XPCManager::installedFilesPresent() const {
    struct stat info {};
    return ::stat(helperServiceFilePath().c_str(), &info) == 0 && ::stat(helperExecutablePath().c_str(), &info) == 0;
}

// A ping has its own once-only completion and never drops the connection: a
// dead connection reports that itself through its handlers.
Async<> XPCManager::pingHelper() { return ping(/*logFailure=*/true); }

Async<> XPCManager::ping(bool logFailure) {
    TimerId timeout = 0;
    co_await awaitCompletion<Done>([this, logFailure, &timeout](Resolver<Done> resolve) {
        auto once = std::make_shared<OnceOnlyCall<Done>>(std::move(resolve), lifeline_);
        auto deliver = [this, once, logFailure](Answer answer) {
            if (!answer) {
                std::string description = answer.error().description;
                once->complete(Done{}, [&](Lifeline& owner) {
                    owner.post([this, description, logFailure] {
                        helperActive = false;
                        if (logFailure) logLine("Ping hatası — " + description);
                        noteLost();
                    });
                });
                return;
            }
            bool alive = answer->success;
            once->complete(Done{}, [&](Lifeline& owner) {
                owner.post([this, alive] {
                    helperActive = alive;
                    if (alive) noteAnswered();
                });
            });
        };
        timeout = sendWithTimeout(acquireConnection(), msg::Ping{}, std::move(deliver));
    });
    loop_.cancel(timeout);
}

void XPCManager::noteLost() {
    lost_ = true;
    // A helper never seen in this run is not watched for: nothing of ours
    // is in it, and the user installs or retries it from the popover.
    if (!everAnswered_ || watching_) return;
    watching_ = true;
    spawn(lifeline_, [this] { return runReturnWatch(); });
}

void XPCManager::noteAnswered() {
    everAnswered_ = true;
    if (!lost_) return;
    lost_ = false;
    // Whatever a check found while it was away (a helper run from where
    // Korvane does not install it has no files there), a helper that
    // answers is there: the popover would otherwise offer to install it.
    helperInstalled = true;
    logLine("The helper answers again");
    spawn(lifeline_, [this]() -> Async<> {
        co_await repeatOwedReleases();
        returned_.send(Done{});
    });
}

Async<> XPCManager::runReturnWatch() {
    Duration pause = kReturnWatchFirstPause;
    const TimePoint giveUp = loop_.now() + kReturnWatchSpan;
    while (lost_ && loop_.now() < giveUp) {
        co_await sleepFor(pause);
        if (!lost_) break;  // another ping found it meanwhile
        co_await ping(/*logFailure=*/false);
        pause = std::min(pause * 2, kReturnWatchLongestPause);
    }
    watching_ = false;
}

Async<> XPCManager::repeatOwedReleases() {
    std::vector<std::int32_t> owed;
    for (std::int32_t pid : owedReleases_) {
        if (throttledPIDs->contains(pid)) owed.push_back(pid);
    }
    owedReleases_.clear();
    std::size_t released = 0;
    for (std::int32_t pid : owed) {
        msg::Call call = msg::UnthrottleProcess{pid};
        if (co_await xpcCall(std::move(call))) {
            throttledPIDs.modify([pid](auto& pids) { pids.erase(pid); });
            ++released;
        } else {
            owedReleases_.insert(pid);
        }
    }
    if (!owed.empty()) {
        logLine("Released again after the helper returned: " + std::to_string(released) + " of " +
                std::to_string(owed.size()) + " processes");
    }
}

TaskHandle XPCManager::checkHelperStatus() {
    return spawn(lifeline_, [this] { return runStatusCheck(); });
}

Async<> XPCManager::runStatusCheck() {
    co_await pingHelper();
    if (helperActive.get()) {
        helperInstalled = true;
        lastError = std::nullopt;
        logLine("Daemon aktif (ping başarılı).");
    } else if (installedFilesPresent()) {
        helperInstalled = true;
        helperActive = false;
        logLine("Daemon dosyaları var ama çalışmıyor.");
    } else {
        helperInstalled = false;
        helperActive = false;
        logLine("Daemon kurulu değil.");
    }
}

TaskHandle XPCManager::waitForDaemonAndPing() {
    return spawn(lifeline_, [this] { return runWaitForDaemon(); });
}

Async<> XPCManager::runWaitForDaemon() {
    using std::chrono::milliseconds;
    constexpr int kAttempts = 5;
    // Pauses of 1.2, 1.6, 2.0, 2.4 and 2.8 s, kept in whole milliseconds so
    // they add up exactly. A pause cut short by cancellation simply ends.
    int attempt = 1;
    co_await sleepFor(milliseconds(1200));
    for (;;) {
        logLine("Ping denemesi " + std::to_string(attempt) + "/5...");
        co_await pingHelper();
        if (helperActive.get()) {
            logLine("Daemon bağlantısı başarılı (deneme " + std::to_string(attempt) + ").");
            isProcessing = false;
            co_return;
        }
        if (attempt == kAttempts) {
            lastError = std::string(kNotRespondingError);
            isProcessing = false;
            logLine("Daemon 5 ping denemesinde yanıt vermedi.");
            co_return;
        }
        ++attempt;
        co_await sleepFor(milliseconds(800 + 400 * attempt));
    }
}

}  // namespace korvane::app
