// From the start of an installation to the helper answering, with no dialog:
// a stand-in for pkexec that runs the command at once, a private root, the
// real helper and the real post-install pauses. Prints where the time goes.
// Runs as root (the installation chowns to root).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "app/client/install_command.h"
#include "app/client/xpc_manager.h"
#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"

using namespace korvane;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start, Clock::time_point at) {
    return std::chrono::duration<double, std::milli>(at - start).count();
}

struct Run {
    double pingBefore = 0, commandDone = 0, socketUp = 0, answered = 0, removal = 0;
    int attempts = 0;
};

Run installOnce(const std::string& helperBinary) {
    std::string pattern = (fs::temp_directory_path() / "korvane-bench-XXXXXX").string();
    std::string root = ::mkdtemp(pattern.data());
    std::string source = root + "/app/com.korvane.helper";
    fs::create_directories(root + "/app");
    fs::copy_file(helperBinary, source);
    std::string runner = root + "/runner.sh";
    std::ofstream(runner) << "#!/bin/sh\nexec \"$@\"\n";
    fs::permissions(runner, fs::perms::owner_all);

    std::mutex mutex;
    std::map<std::string, Clock::time_point> firstSeen;
    auto previous = log::setSink([&](std::string_view line) {
        std::lock_guard lock(mutex);
        firstSeen.try_emplace(std::string(line), Clock::now());
    });

    StdMainLoop loop;
    linux_platform::SpawnProcessRunner spawner;
    app::InstalledFiles files{root};
    linux_platform::SocketHelperConnector connector(files.socket());
    app::XPCManager xpc({.mainLoop = loop,
                         .connector = connector,
                         .filesystemRoot = root,
                         .install = {.runner = &spawner,
                                     .privilegeRunner = runner,
                                     .sourceExecutable = source,
                                     .installScript = KORVANE_INSTALL_SCRIPT,
                                     .allowedUid = ::getuid(),
                                     .systemdRunning = false}});
    Run run;
    Clock::time_point start, socketUp, answered;
    // The socket's appearance, watched from outside the application.
    std::thread watcher([&] {
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!fs::exists(files.socket()) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::microseconds(200));
        socketUp = Clock::now();
    });
    loop.post([&] {
        start = Clock::now();
        xpc.installHelper();
    });
    auto subscription = xpc.isProcessing.observe([&](bool busy) {
        if (!busy) {
            answered = Clock::now();
            loop.quit();
        }
    });
    loop.run();
    watcher.join();

    auto at = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        auto found = firstSeen.find(line);
        return found == firstSeen.end() ? 0.0 : msSince(start, found->second);
    };
    run.pingBefore = at("Korvane: Daemon kurulumu başlatılıyor...");
    run.commandDone = at("Korvane: Daemon kurulumu başarılı.");
    run.socketUp = msSince(start, socketUp);
    run.answered = xpc.helperActive.get() ? msSince(start, answered) : -1;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (at("Korvane: Daemon bağlantısı başarılı (deneme " + std::to_string(attempt) + ").") > 0) run.attempts = attempt;
    }
    auto removing = Clock::now();
    xpc.removeHelper();
    run.removal = msSince(removing, Clock::now());
    log::setSink(previous);
    fs::remove_all(root);
    return run;
}

}  // namespace

int main() {
    if (::geteuid() != 0) {
        std::printf("bench_install: skipped, the installation needs root\n");
        return 0;
    }
    std::printf("%-4s %12s %14s %12s %14s %9s %12s\n", "run", "ping+compose", "command done", "socket up",
                "answered", "attempt", "removal");
    for (int i = 1; i <= 5; ++i) {
        Run r = installOnce(KORVANE_HELPER_BINARY);
        std::printf("%-4d %10.1fms %12.1fms %10.1fms %12.1fms %9d %10.1fms\n", i, r.pingBefore, r.commandDone,
                    r.socketUp, r.answered, r.attempts, r.removal);
    }
    return 0;
}
