#pragma once
// The parts of /proc the background policy walks: a process's threads, the
// children of each thread, and what decides whether a child belongs to the
// same application (its parent, its cgroup). The root is injectable so tests
// can describe a tree that the real /proc cannot show.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct ProcessStat {
    pid_t parent = 0;
    unsigned flags = 0;  // PF_* flags of the task
    std::uint64_t startTime = 0;  // clock ticks after boot; with the pid, names one process
    bool isKernelThread() const { return (flags & 0x00200000U) != 0; }  // PF_KTHREAD
};

// An open /proc/PID/task directory. Reads through it fail once the process
// has gone, even if its pid has been given to a new process meanwhile.
class TaskDirectory {
public:
    explicit TaskDirectory(int fd) : fd_(fd) {}
    TaskDirectory(TaskDirectory&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TaskDirectory& operator=(TaskDirectory&&) = delete;
    ~TaskDirectory();

    // The thread ids now; each call reads the directory afresh. Empty once
    // the process has ended.
    std::vector<pid_t> threads();
    // The processes this thread has started and not yet lost.
    std::vector<pid_t> children(pid_t tid) const;

private:
    int fd_;
    bool atStart_ = true;
};

// An open /proc/PID: everything read through it belongs to one process.
class ProcessDirectory {
public:
    explicit ProcessDirectory(int fd) : fd_(fd) {}
    ProcessDirectory(ProcessDirectory&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ProcessDirectory& operator=(ProcessDirectory&&) = delete;
    ~ProcessDirectory();

    Expected<ProcessStat, int> stat() const;
    Expected<std::string, int> cgroup() const;
    Expected<TaskDirectory, int> openTasks() const;

private:
    int fd_;
};

class TaskTreeReader {
public:
    explicit TaskTreeReader(std::string procRoot = "/proc") : root_(std::move(procRoot)) {}

    // Failures carry the errno of the open (ENOENT when the process is gone).
    Expected<ProcessStat, int> stat(pid_t pid) const;
    Expected<std::string, int> cgroup(pid_t pid) const;
    Expected<TaskDirectory, int> openTasks(pid_t pid) const;
    Expected<ProcessDirectory, int> openProcess(pid_t pid) const;

private:
    std::string root_;
};

// Parses the text of /proc/PID/stat; the command name may hold spaces and
// parentheses, so fields are counted from its last ')'.
Expected<ProcessStat, int> parseProcessStat(const std::string& text);

}  // namespace korvane::linux_platform
