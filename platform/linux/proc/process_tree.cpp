#include "platform/linux/proc/process_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

namespace korvane::linux_platform {

namespace {

// The fields of /proc/PID/stat after the command name ("STATE PPID ..."):
// the name may hold spaces and parentheses, so they are found from its last
// ")". `index` 0 is the state, the file's third field.
template <class Number>
std::optional<Number> statField(const std::string& procRoot, std::int32_t pid, int index) {
    std::string path = procRoot + "/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[1024];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    std::string_view stat(buffer, static_cast<std::size_t>(n));
    std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos || close + 2 >= stat.size()) return std::nullopt;
    std::string_view rest = stat.substr(close + 2);
    for (int skipped = 0; skipped < index; ++skipped) {
        auto space = rest.find(' ');
        if (space == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(space + 1);
    }
    Number value{};
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int32_t> readParentPID(const std::string& procRoot, std::int32_t pid) {
    return statField<std::int32_t>(procRoot, pid, 1);
}

std::optional<std::uint64_t> readStartTime(const std::string& procRoot, std::int32_t pid) {
    return statField<std::uint64_t>(procRoot, pid, 19);
}

std::optional<std::string> readCgroup(const std::string& procRoot, std::int32_t pid) {
    std::string path = procRoot + "/" + std::to_string(pid) + "/cgroup";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (n < 0) return std::nullopt;
    return text;
}

}  // namespace korvane::linux_platform
