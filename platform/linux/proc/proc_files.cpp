#include "platform/linux/proc/proc_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

namespace {

// More than a dirent64 with the longest name /proc or a test tree gives.
constexpr std::size_t kRoomForAnEntry = sizeof(dirent64) + 256;

}  // namespace

std::vector<std::int32_t> numericEntries(int fd, std::vector<std::uint64_t>* inodes) {
    std::vector<std::int32_t> ids;
    alignas(dirent64) char buffer[32768];
    for (;;) {
        ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t offset = 0; offset < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            std::string_view name(entry->d_name);
            std::int32_t id = 0;
            auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id);
            if (error == std::errc() && end == name.data() + name.size() && id > 0) {
                ids.push_back(id);
                if (inodes) inodes->push_back(entry->d_ino);
            }
        }
        // The kernel stops filling only at the end or when the next entry
        // does not fit; with room for a long name left, this was the end,
        // and the call that would say so is saved.
        if (static_cast<std::size_t>(n) + kRoomForAnEntry <= sizeof buffer) break;
    }
    return ids;
}

const char* procPath(char (&buffer)[64], std::int32_t id, const char* rest) {
    auto [end, ignored] = std::to_chars(buffer, buffer + 16, id);
    (void)ignored;
    std::size_t length = std::min<std::size_t>(std::strlen(rest), 40);
    if (length > 0) {
        *end++ = '/';
        std::memcpy(end, rest, length);
        end += length;
    }
    *end = '\0';
    return buffer;
}

}  // namespace korvane::linux_platform
