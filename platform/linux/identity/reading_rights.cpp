#include "platform/linux/identity/reading_rights.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <string_view>

#include "shared/util/small_file.h"

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

// The four ids of a "Uid:" or "Gid:" line of /proc/PID/status.
std::optional<std::array<unsigned, 4>> idsOf(std::string_view status, std::string_view key) {
    auto at = status.find(key);
    if (at == std::string_view::npos || (at != 0 && status[at - 1] != '\n')) return std::nullopt;
    std::string_view rest = status.substr(at + key.size());
    rest = rest.substr(0, rest.find('\n'));
    std::array<unsigned, 4> ids{};
    for (auto& id : ids) {
        auto start = rest.find_first_not_of(" \t");
        if (start == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(start);
        auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), id);
        if (error != std::errc()) return std::nullopt;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    }
    return ids;
}

}  // namespace

std::optional<FileReader> processOwner(const std::string& procRoot, pid_t pid) {
    auto status = readSmallFile(procRoot + "/" + std::to_string(pid) + "/status",
                                {.limit = 64 * 1024, .shortReadEnds = true});
    if (!status) return std::nullopt;
    auto uids = idsOf(*status, "Uid:");
    auto gids = idsOf(*status, "Gid:");
    if (!uids || !gids) return std::nullopt;
    for (std::size_t i = 0; i < uids->size(); ++i) {
        if ((*uids)[i] != 0) return FileReader{(*uids)[i], (*gids)[i]};
    }
    return FileReader{0, 0};
}

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
