// Installing and removing the helper with one administrator approval.
#include <sys/stat.h>

#include <string>
#include <system_error>
#include <thread>

#include "app/client/install_command.h"
#include "app/client/xpc_manager.h"
#include "app/runtime/app_log.h"
#include "app/runtime/completion.h"
#include "shared/util/utf8.h"

namespace korvane::app {
namespace {

using RunOutcome = Expected<ProcessResult, LaunchError>;

// pkexec's status when the user dismisses the dialog.
constexpr int kDialogDismissed = 126;
// Its status when it could not ask at all: no polkit agent or authority, or
// a user who may not ask.
constexpr int kCouldNotAsk = 127;

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string decodedOutput(const std::string& bytes) { return isValidUtf8(bytes) ? bytes : std::string(); }

}  // namespace

TaskHandle XPCManager::installHelper() {
    isProcessing = true;
    lastError = std::nullopt;
    installProgress = std::vector<InstallProgressLine>{};
    return spawn(lifeline_, [this] { return runInstall(); });
}

Async<> XPCManager::runInstall() {
    co_await pingHelper();
    if (helperActive.get()) {
        // A running helper is never replaced.
        helperInstalled = true;
        isProcessing = false;
        logLine("Daemon zaten çalışıyor.");
        co_return;
    }
    dropAndInvalidateConnection();

    if (!fileExists(install_.sourceExecutable)) {
        lastError = std::string("Helper binary not found in app bundle.");
        isProcessing = false;
        co_return;
    }
    auto argv = helperInstallInvocation(install_, filesystemRoot_);
    if (!argv) {
        lastError = argv.error();
        isProcessing = false;
        logLine("Daemon kurulumu başlatılamadı — " + argv.error());
        co_return;
    }

    logLine("Daemon kurulumu başlatılıyor...");
    if (!install_.systemdRunning) {
        logLine("systemd çalışmıyor — daemon doğrudan başlatılacak ve açılışta kendiliğinden başlamayacak.");
    }
    ProcessRunner* runner = install_.runner;
    std::vector<std::string> words = std::move(*argv);
    // The dialog may stay open for minutes: the approval is awaited on a
    // thread of its own so the main loop keeps running.
    std::weak_ptr<Lifeline> owner = lifeline_;
    auto start = [this, runner, words, owner](Resolver<RunOutcome> resolve) {
        if (!runner) return resolve(unexpected(LaunchError{"no way to run programs as root"}));
        std::string path = words.front();
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        // Each whole progress line reaches the main thread before the exit does.
        auto reader = std::make_shared<InstallProgressReader>([this, owner](InstallProgressLine line) {
            if (auto alive = owner.lock()) {
                alive->post([this, line = std::move(line)] {
                    auto lines = installProgress.get();
                    lines.push_back(line);
                    installProgress = std::move(lines);
                });
            }
        });
        try {
            std::thread([runner, path, arguments, resolve, reader] {
                auto outcome = runner->runStreaming(path, arguments, OutputCapture::Combined,
                                                    [&](std::string_view chunk) { reader->feed(chunk); });
                reader->finish();
                resolve(std::move(outcome));
            }).detach();
        } catch (const std::system_error& error) {
            resolve(unexpected(LaunchError{error.what()}));
        }
    };
    // A named awaiter: g++ 12 destroys a temporary's captures twice across co_await.
    auto completion = awaitCompletion<RunOutcome>(std::move(start));
    RunOutcome outcome = co_await completion;
    finishInstall(outcome);
}

void XPCManager::finishInstall(const Expected<ProcessResult, LaunchError>& outcome) {
    if (!outcome) {
        lastError = "Could not launch installer: " + outcome.error().reason;
        isProcessing = false;
        return;
    }
    if (outcome->exitStatus != 0) {
        std::string output = decodedOutput(outcome->output);
        logLine("Daemon kurulumu başarısız (exit=" + std::to_string(outcome->exitStatus) + ") — " + output);
        if (outcome->exitStatus == kDialogDismissed) {
            lastError = std::string(kCancelledError);
        } else if (outcome->exitStatus == kCouldNotAsk) {
            // pkexec's own words stay in the log line above; the user is told what to do.
            auto command = terminalInstallCommand(install_, filesystemRoot_);
            lastError = std::string(kNoApprovalError) +
                        (command ? " Install from a terminal instead: " + *command : std::string());
        } else {
            lastError = "Install failed: " + output;
        }
        isProcessing = false;
        return;
    }
    logLine("Daemon kurulumu başarılı.");
    helperInstalled = true;
    waitForDaemonAndPing();  // ends isProcessing
}

void XPCManager::removeHelper() {
    isProcessing = true;
    lastError = std::nullopt;
    dropAndInvalidateConnection();

    auto reset = [this] {
        helperInstalled = false;
        helperActive = false;
        throttledPIDs = std::set<std::int32_t>{};
        isProcessing = false;
    };
    if (!fileExists(helperServiceFilePath()) && !fileExists(helperExecutablePath())) {
        reset();
        return;
    }
    auto argv = helperRemoveInvocation(install_, filesystemRoot_);
    if (!argv) {
        logLine("Daemon kaldırma hatası — " + argv.error());
        reset();
        return;
    }
    if (!install_.runner) {
        logLine("Daemon kaldırma hatası — no way to run programs as root");
        reset();
        return;
    }
    std::vector<std::string> arguments(argv->begin() + 1, argv->end());
    auto outcome = install_.runner->run(argv->front(), arguments, OutputCapture::StandardOutput);
    if (!outcome) {
        logLine("Daemon kaldırma hatası — " + outcome.error().reason);
    } else if (outcome->exitStatus == 0) {
        logLine("Daemon kaldırıldı.");
    }
    reset();
}

}  // namespace korvane::app
