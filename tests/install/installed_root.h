#pragma once
// A private root for installing the helper into, as root: the stand-ins for
// pkexec, the clean-up of a helper an installation started there, and
// Korvane's helper client installing into it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/client/install_command.h"
#include "app/client/xpc_manager.h"
#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/target_process.h"

namespace korvane::testing {

// Lets virtual time pass about as fast as real time, so a real helper has the
// time the post-install pauses give it.
inline bool driveUntil(VirtualMainLoop& loop, const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        loop.runUntil(done, std::chrono::milliseconds(20));
        loop.advanceBy(std::chrono::milliseconds(20));
    }
    return true;
}

class InstalledRoot {
public:
    InstalledRoot() : files{tree.root()} {}
    ~InstalledRoot() { stopHelper(); }

    // The pid the pid file names, or -1.
    pid_t helperPid() const {
        std::ifstream file(files.pidFile());
        pid_t pid = -1;
        return (file >> pid) ? pid : -1;
    }
    bool helperRunning() const {
        pid_t pid = helperPid();
        return pid > 0 && firstWordOf(pid) == files.tool();
    }
    void stopHelper() const {
        pid_t pid = helperPid();
        if (pid <= 0 || firstWordOf(pid) != files.tool()) return;
        ::kill(pid, SIGKILL);
        eventually([&] { return firstWordOf(pid) != files.tool(); }, std::chrono::seconds(10));
    }

    // A stand-in for pkexec that notes each run in runs.log, then runs the
    // command as the caller, or exits with `exitStatus` after printing `output`.
    std::string privilegeRunner(int exitStatus = -1, const std::string& output = {}) const {
        std::string script = "#!/bin/sh\necho run >> '" + tree.path("runs.log") + "'\n";
        script += exitStatus < 0 ? "exec \"$@\"\n" : "printf '%s' '" + output + "'\nexit " + std::to_string(exitStatus) + "\n";
        return tree.write("runner-" + std::to_string(++runners_) + ".sh", script, 0755);
    }
    int runs() const {
        std::string log = tree.read("runs.log");
        return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
    }
    // A copy of the built helper, as an installation ships it.
    std::string shipHelper(const std::string& relative = "app/com.korvane.helper") const {
        std::string path = tree.path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::copy_file(KORVANE_HELPER_BINARY, path);
        return path;
    }

    static mode_t modeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
    static bool rootOwned(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && info.st_uid == 0 && info.st_gid == 0;
    }

    FixtureTree tree;
    app::InstalledFiles files;

private:
    mutable int runners_ = 0;
};

// Korvane's helper client as the popover has it, installing into `root`
// with `setup` and real processes, its status checked once.
struct InstallingClient {
    InstallingClient(const InstalledRoot& root, app::HelperInstallSetup setup)
        : connector(root.files.socket()),
          xpc({.mainLoop = loop,
               .connector = connector,
               .filesystemRoot = root.tree.root(),
               .install = [&] {
                   setup.runner = &runner;
                   return setup;
               }()}) {
        EXPECT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    }
    // Whether the installation ended within 30 s.
    bool install() {
        xpc.installHelper();
        return driveUntil(loop, [&] { return !xpc.isProcessing.get(); });
    }

    VirtualMainLoop loop;
    linux_platform::SpawnProcessRunner runner;
    linux_platform::SocketHelperConnector connector;
    app::XPCManager xpc;
};

}  // namespace korvane::testing
