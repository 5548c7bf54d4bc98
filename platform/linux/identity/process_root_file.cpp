#include "platform/linux/identity/process_root_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "shared/util/owned_fd.h"
#include "shared/util/small_file.h"

namespace korvane::identity {
namespace {

// File systems whose files are the kernel's (reading some has effects, such
// as /proc/kmsg draining the kernel's log) or a user's own server's (a FUSE
// read can wait for ever). No sandbox keeps its information file on these.
constexpr std::array<long, 18> kRefusedFileSystems = {
    PROC_SUPER_MAGIC,  SYSFS_MAGIC,         DEBUGFS_MAGIC,      TRACEFS_MAGIC,   SECURITYFS_MAGIC, SELINUX_MAGIC,
    SMACK_MAGIC,       CGROUP_SUPER_MAGIC,  CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,   DEVPTS_SUPER_MAGIC, EFIVARFS_MAGIC,
    PSTOREFS_MAGIC,    BINFMTFS_MAGIC,      NSFS_MAGIC,         FUSE_SUPER_MAGIC, PIPEFS_MAGIC,     SOCKFS_MAGIC,
};

bool onRefusedFileSystem(int fd) {
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return true;
    return std::find(kRefusedFileSystems.begin(), kRefusedFileSystems.end(), static_cast<long>(info.f_type)) !=
           kRefusedFileSystems.end();
}

}  // namespace

Expected<std::string, int> readInProcessRoot(const std::string& processRoot, std::string_view name,
                                             std::size_t limit,
                                             const std::function<std::optional<FileReader>()>& owner) {
    OwnedFd root(::open(processRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!root) return unexpected(errno);
    // Looked at before it is opened for reading, so that opening a device
    // (or anything else) has no effect. Finding it reads nothing: the
    // owner's rights are checked when it is opened for reading.
    open_how how{};
    how.flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    std::string relative(name);
    long found = ::syscall(SYS_openat2, root.get(), relative.c_str(), &how, sizeof how);
    if (found < 0) return unexpected(errno);
    OwnedFd file(static_cast<int>(found));
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return unexpected(errno);
    if (S_ISLNK(info.st_mode)) return unexpected(ELOOP);
    if (!S_ISREG(info.st_mode)) return unexpected(EINVAL);
    if (onRefusedFileSystem(file.get())) return unexpected(EXDEV);
    if (static_cast<std::size_t>(info.st_size) > limit) return unexpected(EFBIG);
    // Opened for reading through our own descriptor: the owner's rights are
    // checked on this very file, whatever its name leads to by now.
    auto reader = owner();
    if (!reader) return unexpected(EPERM);
    ReadingAs rights(*reader);
    if (!rights.ok()) return unexpected(EPERM);
    std::string self = "/proc/self/fd/" + std::to_string(file.get());
    return readSmallFile(self, {.limit = limit, .regularOnly = true});
}

}  // namespace korvane::identity
