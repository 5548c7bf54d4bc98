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
Async<> XPCManager::pingHelper() {
    co_await awaitCompletion<Done>([this](Resolver<Done> resolve) {
        auto once = std::make_shared<OnceOnlyCall<Done>>(std::move(resolve), lifeline_);
        getConnection()->send(msg::Ping{}, [this, once](Expected<msg::Reply, ConnectionError> answer) {
            if (!answer) {
                std::string description = answer.error().description;
                once->complete(Done{}, [&](Lifeline& owner) {
                    owner.post([this, description] {
                        helperActive = false;
                        logLine("Ping hatası — " + description);
                    });
                });
                return;
            }
            bool alive = answer->success;
            once->complete(Done{}, [&](Lifeline& owner) { owner.post([this, alive] { helperActive = alive; }); });
        });
    });
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
