#pragma once
// Real processes with threads and a child to change the scheduling of, and
// what /proc and the kernel say about their threads.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/fakes/started_program.h"

namespace korvane::testing {

inline std::vector<pid_t> threadsOf(pid_t pid) {
    std::vector<pid_t> tids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        tids.push_back(std::stoi(entry.path().filename().string()));
    }
    std::sort(tids.begin(), tids.end());
    return tids;
}

// The children of every thread of `pid`.
inline std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (pid_t tid : threadsOf(pid)) {
        const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/children";
        std::istringstream listed(readText(path));
        for (pid_t child; listed >> child;) children.push_back(child);
    }
    return children;
}

// Its argv; empty once it has ended (or is a zombie).
inline std::vector<std::string> commandLineOf(pid_t pid) {
    std::istringstream raw(readText("/proc/" + std::to_string(pid) + "/cmdline"));
    std::vector<std::string> words;
    for (std::string word; std::getline(raw, word, '\0');) words.push_back(word);
    return words;
}
inline std::string firstWordOf(pid_t pid) {
    auto words = commandLineOf(pid);
    return words.empty() ? std::string() : words.front();
}

// One thread as an observer sees it.
struct ThreadView {
    std::string cpus;  // Cpus_allowed_list
    int policy = -1, nice = 99, rtPriority = -1, ioClass = -1, ioLevel = -1;
};

inline ThreadView viewOf(pid_t tid) {
    ThreadView view;
    std::istringstream status(readText("/proc/" + std::to_string(tid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Cpus_allowed_list:", 0) == 0) view.cpus = line.substr(line.find_first_not_of(" \t", 18));
    }
    std::string stat = readText("/proc/" + std::to_string(tid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> field(3);  // numbered from 1; 1 and 2 are the pid and the name
    for (std::string value; fields >> value;) field.push_back(value);
    if (field.size() > 41) {
        view.nice = std::stoi(field[19]);
        view.rtPriority = std::stoi(field[40]);
        view.policy = std::stoi(field[41]);
    }
    if (long io = ::syscall(SYS_ioprio_get, 1, tid); io >= 0) {
        view.ioClass = static_cast<int>(io >> 13);
        view.ioLevel = static_cast<int>(io & 0x1fff);
    }
    return view;
}

inline void expectEveryThread(pid_t process, const std::string& cpus, int policy, int ioClass) {
    for (pid_t tid : threadsOf(process)) {
        auto view = viewOf(tid);
        EXPECT_EQ(view.cpus, cpus) << "thread " << tid;
        EXPECT_EQ(view.policy, policy) << "thread " << tid;
        EXPECT_EQ(view.ioClass, ioClass) << "thread " << tid;
    }
}
// The background policy, confined to `cpus`.
inline void expectBackground(pid_t process, const char* cpus) { expectEveryThread(process, cpus, SCHED_IDLE, 3); }
// Cpus_allowed_list of every thread of `pid`, joined by spaces.
inline std::string allowedCPUs(pid_t pid) {
    std::string all;
    for (pid_t tid : threadsOf(pid)) all += (all.empty() ? "" : " ") + viewOf(tid).cpus;
    return all;
}
// Whether every thread of `pid` may run on `cpus` alone.
inline bool onlyOn(pid_t pid, const std::string& cpus) {
    auto threads = threadsOf(pid);
    return !threads.empty() &&
           std::all_of(threads.begin(), threads.end(), [&](pid_t tid) { return viewOf(tid).cpus == cpus; });
}
// The machine's online CPUs as the kernel lists them, e.g. "0-1": the
// affinity of a process nobody has confined.
inline std::string machineCPUs() {
    std::ifstream in("/sys/devices/system/cpu/online");
    std::string cpus;
    std::getline(in, cpus);
    return cpus;
}
// As a new process is.
inline void expectNormal(pid_t process) { expectEveryThread(process, machineCPUs(), SCHED_OTHER, 0); }

// A child with `threads` threads in all and, given `childThreads`, a child
// of its own with that many. Killed with everything it started at the end.
class TargetProcess {
public:
    explicit TargetProcess(int threads, int childThreads = 0) {
        if (::pipe(requests_) != 0 || ::pipe(replies_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) serve(threads, childThreads);
        // The target and its child each send their pid once they run.
        for (int i = childThreads > 0 ? 2 : 1; i > 0 && pid_ > 0; --i) {
            pid_t started = 0;
            if (::read(replies_[0], &started, sizeof started) != sizeof started) return;
            if (started != pid_) child_ = started;
        }
        ready_ = childThreads == 0 || child_ > 0;
    }
    ~TargetProcess() {
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        for (int fd : {requests_[0], requests_[1], replies_[0], replies_[1]}) ::close(fd);
    }
    TargetProcess(const TargetProcess&) = delete;
    TargetProcess& operator=(const TargetProcess&) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }
    pid_t child() const { return child_; }
    // Has the main thread start one more thread; its id.
    pid_t addThread() {
        pid_t tid = -1;
        if (::write(requests_[1], "t", 1) != 1 || ::read(replies_[0], &tid, sizeof tid) != sizeof tid) return -1;
        return tid;
    }

private:
    static pid_t startIdleThread() {
        auto* tid = new std::atomic<pid_t>(0);  // lives as long as the process
        std::thread([tid] {
            tid->store(::gettid());
            for (;;) ::pause();
        }).detach();
        while (tid->load() == 0) std::this_thread::yield();
        return tid->load();
    }
    void reply(pid_t value) {
        if (::write(replies_[1], &value, sizeof value) != sizeof value) ::_exit(1);
    }
    [[noreturn]] void serve(int threads, int childThreads) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (childThreads > 0 && ::fork() == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (int i = 1; i < childThreads; ++i) startIdleThread();
            reply(::getpid());
            for (;;) ::pause();
        }
        for (int i = 1; i < threads; ++i) startIdleThread();
        reply(::getpid());
        for (char request; ::read(requests_[0], &request, 1) == 1;) reply(startIdleThread());
        ::_exit(0);
    }

    int requests_[2] = {-1, -1};
    int replies_[2] = {-1, -1};
    pid_t pid_ = -1;
    pid_t child_ = -1;
    bool ready_ = false;
};

}  // namespace korvane::testing
