#include "platform/linux/identity/reading_rights.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace korvane::identity {
namespace {

// The raw system calls act on the calling thread alone; glibc's wrappers of
// setgroups would change every thread of the helper.
long setThreadGroups(const std::vector<gid_t>& groups) {
    return ::syscall(SYS_setgroups, groups.size(), groups.empty() ? nullptr : groups.data());
}
// setfsuid/setfsgid report the previous id, never an error; asking twice
// tells whether the change took.
bool setThreadFsIds(uid_t uid, gid_t gid) {
    ::syscall(SYS_setfsgid, gid);
    ::syscall(SYS_setfsuid, uid);
    return static_cast<gid_t>(::syscall(SYS_setfsgid, gid)) == gid &&
           static_cast<uid_t>(::syscall(SYS_setfsuid, uid)) == uid;
}

}  // namespace

ReadingAs::ReadingAs(const std::optional<FileReader>& reader) {
    if (!reader || reader->uid == 0 || ::geteuid() != 0) return;
    int count = ::getgroups(0, nullptr);
    if (count > 0) {
        groups_.resize(static_cast<std::size_t>(count));
        if (::getgroups(count, groups_.data()) != count) groups_.clear();
    }
    switched_ = true;
    ok_ = setThreadGroups({}) == 0 && setThreadFsIds(reader->uid, reader->gid);
}

ReadingAs::~ReadingAs() {
    if (!switched_) return;
    setThreadFsIds(0, 0);
    setThreadGroups(groups_);
}

}  // namespace korvane::identity
