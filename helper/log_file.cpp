#include "helper/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvane::helper {

Expected<LogFile, std::string> LogFile::open(std::string path, std::size_t cap) {
    LogFile log(std::move(path), cap);
    if (auto opened = log.openAsStandardError(); !opened) return unexpected(opened.error());
    return log;
}

Expected<Done, std::string> LogFile::openAsStandardError() {
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return unexpected("cannot open " + path_ + ": " + std::strerror(errno));
    struct stat info {};
    // A log left by an earlier installation may have been readable by all.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fchmod(fd, 0600) != 0) {
        ::close(fd);
        return unexpected(path_ + " is not a regular file the helper may make private");
    }
    std::fflush(stderr);
    int moved = ::dup2(fd, STDERR_FILENO);
    ::close(fd);
    if (moved < 0) return unexpected(std::string("cannot log to ") + path_ + ": " + std::strerror(errno));
    return Done{};
}

void LogFile::makeRoomFor(std::size_t bytes) {
    struct stat info {};
    if (::fstat(STDERR_FILENO, &info) != 0) return;
    if (static_cast<std::size_t>(info.st_size) + bytes <= cap_ || info.st_size == 0) return;
    std::fflush(stderr);
    std::string old = path_ + ".1";
    if (::rename(path_.c_str(), old.c_str()) != 0) return;
    // Should the new file not open, the lines go on to the old one.
    (void)openAsStandardError();
}

}  // namespace korvane::helper
