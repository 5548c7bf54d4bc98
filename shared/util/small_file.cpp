#include "shared/util/small_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shared/util/owned_fd.h"

namespace korvane {

Expected<std::string, int> readSmallFileAt(int directory, const char* path, const SmallFileOptions& options) {
    int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
    if (options.noFollow) flags |= O_NOFOLLOW;
    struct stat info {};
    if (options.regularOnly) {
        // A stat first keeps us from even opening devices, whose open can
        // have effects; O_NONBLOCK covers a FIFO swapped in between the calls.
        int statFlags = options.noFollow ? AT_SYMLINK_NOFOLLOW : 0;
        if (::fstatat(directory, path, &info, statFlags) != 0) return unexpected(errno);
        if (S_ISLNK(info.st_mode)) return unexpected(ELOOP);
        if (!S_ISREG(info.st_mode)) return unexpected(EINVAL);
        flags |= O_NONBLOCK;
    }
    OwnedFd fd(::openat(directory, path, flags));
    if (!fd) return unexpected(errno);
    if (options.regularOnly && (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))) return unexpected(EINVAL);

    std::string content;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return unexpected(errno);
        }
        if (n == 0) break;
        auto count = static_cast<std::size_t>(n);
        if (content.size() + count > options.limit) {
            if (!options.truncate) return unexpected(EFBIG);
            content.append(buffer, options.limit - content.size());
            break;
        }
        content.append(buffer, count);
        if (options.shortReadEnds && count < sizeof buffer) break;
    }
    return content;
}

}  // namespace korvane
