#include "shared/identity/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvane::identity {

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    // A stat first keeps us from even opening devices, whose open can have
    // effects; O_NONBLOCK covers a FIFO swapped in between the two calls.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        std::string bytes;
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            if (n == 0) {
                content = std::move(bytes);
                break;
            }
            if (bytes.size() + static_cast<std::size_t>(n) > limit) break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return content;
}

}  // namespace korvane::identity
