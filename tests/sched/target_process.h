#pragma once
// Real processes for the background-policy tests, and what /proc and the
// kernel say about their threads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace korvane::testing {

inline std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<pid_t> threadsOf(pid_t pid) {
    std::vector<pid_t> tids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        tids.push_back(std::stoi(entry.path().filename().string()));
    }
    std::sort(tids.begin(), tids.end());
    return tids;
}

inline std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (pid_t tid : threadsOf(pid)) {
        std::istringstream list(readText("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/children"));
        for (pid_t child; list >> child;) children.push_back(child);
    }
    return children;
}

// One thread as an observer sees it.
struct ThreadView {
    std::string cpus;  // Cpus_allowed_list
    int policy = -1;
    int nice = 99;
    int rtPriority = -1;
    int ioClass = -1;
    int ioLevel = -1;
};

inline ThreadView viewOf(pid_t tid) {
    ThreadView view;
    std::istringstream status(readText("/proc/" + std::to_string(tid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Cpus_allowed_list:", 0) == 0) view.cpus = line.substr(line.find_first_not_of(" \t", 18));
    }
    std::string stat = readText("/proc/" + std::to_string(tid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> field{"", "", ""};  // fields are numbered from 1; 1 and 2 are pid and name
    for (std::string value; fields >> value;) field.push_back(value);
    if (field.size() > 41) {
        view.nice = std::stoi(field[19]);
        view.rtPriority = std::stoi(field[40]);
        view.policy = std::stoi(field[41]);
    }
    long io = ::syscall(SYS_ioprio_get, 1, tid);
    if (io >= 0) {
        view.ioClass = static_cast<int>(io >> 13);
        view.ioLevel = static_cast<int>(io & 0x1fff);
    }
    return view;
}

// Every thread of `process` has the background policy, confined to `cpus`.
inline void expectBackground(pid_t process, const char* cpus) {
    for (pid_t tid : threadsOf(process)) {
        auto view = viewOf(tid);
        EXPECT_EQ(view.cpus, cpus) << "thread " << tid;
        EXPECT_EQ(view.policy, SCHED_IDLE) << "thread " << tid;
        EXPECT_EQ(view.ioClass, 3) << "thread " << tid;
    }
}

// Every thread of `process` is as a new process on this 2-CPU machine is.
inline void expectNormal(pid_t process) {
    for (pid_t tid : threadsOf(process)) {
        auto view = viewOf(tid);
        EXPECT_EQ(view.cpus, "0-1") << "thread " << tid;
        EXPECT_EQ(view.policy, SCHED_OTHER) << "thread " << tid;
        EXPECT_EQ(view.ioClass, 0) << "thread " << tid;
    }
}

// A running korvane_sched_target in a process group of its own, killed with
// everything it started when the object ends.
class TargetProcess {
public:
    explicit TargetProcess(int threads, int childThreads = 0) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::string threadCount = std::to_string(threads);
        std::string childCount = std::to_string(childThreads);
        char* argv[] = {const_cast<char*>(KORVANE_SCHED_TARGET), threadCount.data(), childCount.data(), nullptr};
        if (::posix_spawn(&pid_, KORVANE_SCHED_TARGET, &actions, &attributes, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(in[0]);
        ::close(out[1]);
        input_ = ::fdopen(in[1], "w");
        output_ = ::fdopen(out[0], "r");
        ready_ = readLine() == "ready";
    }
    ~TargetProcess() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (input_) std::fclose(input_);
        if (output_) std::fclose(output_);
    }
    TargetProcess(const TargetProcess&) = delete;
    TargetProcess& operator=(const TargetProcess&) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    pid_t child() const {
        auto children = childrenOf(pid_);
        return children.empty() ? -1 : children.front();
    }
    // Starts a thread from the main thread and returns its id.
    pid_t addThread() {
        std::fputs("thread\n", input_);
        std::fflush(input_);
        std::string reply = readLine();
        return reply.rfind("thread ", 0) == 0 ? std::stoi(reply.substr(7)) : -1;
    }

private:
    std::string readLine() {
        char line[128];
        if (!output_ || !std::fgets(line, sizeof line, output_)) return {};
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    pid_t pid_ = -1;
    FILE* input_ = nullptr;
    FILE* output_ = nullptr;
    bool ready_ = false;
};

// A pid that named a process a moment ago and names none now.
inline pid_t endedPid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace korvane::testing
