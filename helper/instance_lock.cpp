#include "helper/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>

namespace korvane::helper {

Expected<InstanceLock, InstanceLock::Refusal> InstanceLock::take(const std::string& folder) {
    std::string path = folder + "/" + kInstanceLockName;
    OwnedFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd) return unexpected(Refusal{false, "cannot open " + path + ": " + std::strerror(errno)});
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return unexpected(Refusal{true, "another helper holds " + path});
        return unexpected(Refusal{false, "cannot lock " + path + ": " + std::strerror(errno)});
    }
    return InstanceLock(std::move(fd));
}

}  // namespace korvane::helper
