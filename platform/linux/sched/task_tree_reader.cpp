#include "platform/linux/sched/task_tree_reader.h"

#include "platform/linux/proc/proc_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

namespace korvane::linux_platform {
namespace {

Expected<ProcessStat, int> readStatAt(int directory, const char* path) {
    auto text = readProcFileAt(directory, path);
    if (!text) return unexpected(text.error());
    return parseProcessStat(*text);
}

// Splits at blanks; the numbers in children files are separated by spaces.
std::vector<pid_t> parsePidList(std::string_view text) {
    std::vector<pid_t> pids;
    while (!text.empty()) {
        auto start = text.find_first_not_of(" \n");
        if (start == std::string_view::npos) break;
        text.remove_prefix(start);
        auto end = std::min(text.find_first_of(" \n"), text.size());
        pid_t pid = 0;
        auto [parsedEnd, error] = std::from_chars(text.data(), text.data() + end, pid);
        if (error == std::errc() && parsedEnd == text.data() + end && pid > 0) pids.push_back(pid);
        text.remove_prefix(end);
    }
    return pids;
}

}  // namespace

std::vector<pid_t> TaskDirectory::threads() {
    if (!std::exchange(atStart_, false) && ::lseek(fd_.get(), 0, SEEK_SET) != 0) return {};
    return numericEntries(fd_.get());
}

int TaskDirectory::threadCount() const {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0 || info.st_nlink < 2) return -1;
    return static_cast<int>(info.st_nlink) - 2;
}

std::vector<pid_t> TaskDirectory::children(pid_t tid) const {
    char path[64];
    auto text = readProcFileAt(fd_.get(), procPath(path, tid, "children"));
    return text ? parsePidList(*text) : std::vector<pid_t>{};
}

Expected<ProcessStat, int> ProcessDirectory::stat() const { return readStatAt(fd_.get(), "stat"); }

Expected<std::string, int> ProcessDirectory::cgroup() const { return readProcFileAt(fd_.get(), "cgroup"); }

Expected<TaskDirectory, int> ProcessDirectory::openTasks() const {
    OwnedFd fd(::openat(fd_.get(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return unexpected(errno);
    return TaskDirectory(std::move(fd));
}

TaskTreeReader::TaskTreeReader(std::string procRoot)
    : root_(std::move(procRoot)), folder_(::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

Expected<ProcessStat, int> TaskTreeReader::stat(pid_t pid) const {
    char path[64];
    return readStatAt(folder_.get(), procPath(path, pid, "stat"));
}

Expected<std::string, int> TaskTreeReader::cgroup(pid_t pid) const {
    char path[64];
    return readProcFileAt(folder_.get(), procPath(path, pid, "cgroup"));
}

Expected<TaskDirectory, int> TaskTreeReader::openTasks(pid_t pid) const {
    char path[64];
    OwnedFd fd(::openat(folder_.get(), procPath(path, pid, "task"), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return unexpected(errno);
    return TaskDirectory(std::move(fd));
}

Expected<ProcessDirectory, int> TaskTreeReader::openProcess(pid_t pid) const {
    char path[64];
    OwnedFd fd(::openat(folder_.get(), procPath(path, pid, ""), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return unexpected(errno);
    return ProcessDirectory(std::move(fd));
}

ProcessFamily TaskTreeReader::family() {
    ProcessFamily family;
    OwnedFd listing(::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing) return family;
    std::vector<std::uint64_t> inodes;
    auto pids = numericEntries(listing.get(), &inodes);
    // The processes seen before, each still the same process.
    std::unordered_map<pid_t, Known> same;
    same.reserve(pids.size());
    for (std::size_t i = 0; i < pids.size(); ++i) {
        auto known = known_.find(pids[i]);
        if (known != known_.end() && known->second.inode == inodes[i]) same.emplace(pids[i], known->second);
    }
    std::unordered_map<pid_t, Known> listed;
    listed.reserve(pids.size());
    for (std::size_t i = 0; i < pids.size(); ++i) {
        const Known* entry = nullptr;
        // A process changes parents only when its parent ends.
        auto known = same.find(pids[i]);
        if (known != same.end() && (known->second.parent <= 0 || same.contains(known->second.parent))) {
            entry = &listed.emplace(pids[i], known->second).first->second;
        } else if (auto found = stat(pids[i])) {
            entry = &listed.emplace(pids[i], Known{inodes[i], found->parent, found->startTime}).first->second;
        }
        if (entry) family.add(pids[i], entry->parent, entry->startTime);
    }
    known_ = std::move(listed);
    return family;
}

}  // namespace korvane::linux_platform
