#pragma once
// The parts of /proc the background policy walks: a process's threads, its
// children, and what decides whether a child belongs to the same
// application (its parent, its cgroup). Everything is opened relative to
// one held descriptor of the /proc folder, whose root is injectable so
// tests can describe a tree that the real /proc cannot show.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/process/process_entry.h"
#include "shared/process/process_stat.h"
#include "shared/util/expected.h"
#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

// An open /proc/PID/task directory. Reads through it fail once the process
// has gone, even if its pid has been given to a new process meanwhile.
class TaskDirectory {
public:
    explicit TaskDirectory(OwnedFd fd) : fd_(std::move(fd)) {}

    // The thread ids now; each call reads the directory afresh. Empty once
    // the process has ended.
    std::vector<pid_t> threads();
    // How many threads the process has now (the directory's link count
    // less its own two); -1 when that cannot be told.
    int threadCount() const;
    // The processes this thread has started and not yet lost.
    std::vector<pid_t> children(pid_t tid) const;

private:
    OwnedFd fd_;
    bool atStart_ = true;
};

// An open /proc/PID: everything read through it belongs to one process.
class ProcessDirectory {
public:
    explicit ProcessDirectory(OwnedFd fd) : fd_(std::move(fd)) {}

    Expected<ProcessStat, int> stat() const;
    Expected<std::string, int> cgroup() const;
    Expected<TaskDirectory, int> openTasks() const;

private:
    OwnedFd fd_;
};

class TaskTreeReader {
public:
    explicit TaskTreeReader(std::string procRoot = "/proc");

    // Failures carry the errno of the open (ENOENT when the process is gone).
    Expected<ProcessStat, int> stat(pid_t pid) const;
    Expected<std::string, int> cgroup(pid_t pid) const;
    Expected<TaskDirectory, int> openTasks(pid_t pid) const;
    Expected<ProcessDirectory, int> openProcess(pid_t pid) const;
    // Who started whom, from one listing of the folder. The stat line is
    // read only for a process not seen by an earlier call (its /proc
    // entry's inode tells it from a later process given the same pid) or
    // whose parent has ended since, which is when a parent changes.
    ProcessFamily family();

private:
    struct Known {
        std::uint64_t inode = 0;
        pid_t parent = 0;
        std::uint64_t startTime = 0;
    };

    std::string root_;
    OwnedFd folder_;
    std::unordered_map<pid_t, Known> known_;
};

}  // namespace korvane::linux_platform
