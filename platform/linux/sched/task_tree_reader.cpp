#include "platform/linux/sched/task_tree_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <utility>

namespace korvane::linux_platform {
namespace {

Expected<std::string, int> readWhole(int fd) {
    std::string content;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, static_cast<std::size_t>(n));
            // /proc files are generated whole on the first read: a short
            // read is the end, and saves a system call per file.
            if (static_cast<std::size_t>(n) < sizeof buffer) break;
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            int error = errno;
            ::close(fd);
            return unexpected(error);
        }
    }
    ::close(fd);
    return content;
}

Expected<std::string, int> readFileAt(int directory, const std::string& path) {
    int fd = ::openat(directory, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return unexpected(errno);
    return readWhole(fd);
}

template <class Number>
bool parseWhole(std::string_view text, Number& out) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
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
        if (parseWhole(text.substr(0, end), pid) && pid > 0) pids.push_back(pid);
        text.remove_prefix(end);
    }
    return pids;
}

}  // namespace

TaskDirectory::~TaskDirectory() {
    if (fd_ >= 0) ::close(fd_);
}

std::vector<pid_t> TaskDirectory::threads() {
    std::vector<pid_t> tids;
    if (!std::exchange(atStart_, false) && ::lseek(fd_, 0, SEEK_SET) != 0) return tids;
    alignas(dirent64) char buffer[8192];
    for (;;) {
        ssize_t n = ::getdents64(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            pid_t tid = 0;
            if (parseWhole(std::string_view(entry->d_name), tid) && tid > 0) tids.push_back(tid);
            offset += entry->d_reclen;
        }
    }
    return tids;
}

std::vector<pid_t> TaskDirectory::children(pid_t tid) const {
    auto text = readFileAt(fd_, std::to_string(tid) + "/children");
    return text ? parsePidList(*text) : std::vector<pid_t>{};
}

Expected<ProcessStat, int> parseProcessStat(const std::string& text) {
    auto close = text.rfind(')');
    if (close == std::string::npos) return unexpected(EINVAL);
    // Field 3 (state) follows the name; we need 4 (ppid), 9 (flags), 22 (starttime).
    std::string_view rest = std::string_view(text).substr(close + 1);
    ProcessStat stat;
    int field = 2;
    bool haveParent = false;
    bool haveFlags = false;
    while (!rest.empty()) {
        auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        auto end = std::min(rest.find_first_of(" \n"), rest.size());
        std::string_view value = rest.substr(0, end);
        rest.remove_prefix(end);
        ++field;
        if (field == 4) {
            haveParent = parseWhole(value, stat.parent);
        } else if (field == 9) {
            haveFlags = parseWhole(value, stat.flags);
        } else if (field == 22) {
            if (!haveParent || !haveFlags || !parseWhole(value, stat.startTime)) break;
            return stat;
        }
    }
    return unexpected(EINVAL);
}

ProcessDirectory::~ProcessDirectory() {
    if (fd_ >= 0) ::close(fd_);
}

Expected<ProcessStat, int> ProcessDirectory::stat() const {
    auto text = readFileAt(fd_, "stat");
    if (!text) return unexpected(text.error());
    return parseProcessStat(*text);
}

Expected<std::string, int> ProcessDirectory::cgroup() const { return readFileAt(fd_, "cgroup"); }

Expected<TaskDirectory, int> ProcessDirectory::openTasks() const {
    int fd = ::openat(fd_, "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return unexpected(errno);
    return TaskDirectory(fd);
}

Expected<ProcessStat, int> TaskTreeReader::stat(pid_t pid) const {
    auto text = readFileAt(AT_FDCWD, root_ + "/" + std::to_string(pid) + "/stat");
    if (!text) return unexpected(text.error());
    return parseProcessStat(*text);
}

Expected<std::string, int> TaskTreeReader::cgroup(pid_t pid) const {
    return readFileAt(AT_FDCWD, root_ + "/" + std::to_string(pid) + "/cgroup");
}

Expected<TaskDirectory, int> TaskTreeReader::openTasks(pid_t pid) const {
    int fd = ::open((root_ + "/" + std::to_string(pid) + "/task").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return unexpected(errno);
    return TaskDirectory(fd);
}

Expected<ProcessDirectory, int> TaskTreeReader::openProcess(pid_t pid) const {
    int fd = ::open((root_ + "/" + std::to_string(pid)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return unexpected(errno);
    return ProcessDirectory(fd);
}

}  // namespace korvane::linux_platform
