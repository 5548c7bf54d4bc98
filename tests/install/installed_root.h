#pragma once
// A private root for installing the helper into, as root: the stand-ins for
// pkexec, and the clean-up of a helper an installation started there.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "app/client/install_command.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::testing {

// argv[0] of a process; empty once it has ended (or is a zombie).
inline std::string firstWordOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string word;
    std::getline(file, word, '\0');
    return word;
}

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
        std::ifstream log(tree.path("runs.log"));
        int lines = 0;
        for (std::string line; std::getline(log, line);) ++lines;
        return lines;
    }

    static mode_t modeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
    static bool rootOwned(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && info.st_uid == 0 && info.st_gid == 0;
    }
    static std::string contents(const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }

    FixtureTree tree;
    app::InstalledFiles files;

private:
    mutable int runners_ = 0;
};

}  // namespace korvane::testing
