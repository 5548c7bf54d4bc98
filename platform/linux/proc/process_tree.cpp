#include "platform/linux/proc/process_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

namespace korvane::linux_platform {

std::optional<std::int32_t> readParentPID(const std::string& procRoot, std::int32_t pid) {
    std::string path = procRoot + "/" + std::to_string(pid) + "/stat";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[1024];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    // "PID (COMM) STATE PPID ...": the command name may hold spaces and
    // parentheses, so the fields after it are found from its last ")".
    std::string_view stat(buffer, static_cast<std::size_t>(n));
    std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos || close + 4 >= stat.size()) return std::nullopt;
    std::string_view rest = stat.substr(close + 4);  // past ") S "
    std::int32_t parent = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
    if (error != std::errc() || end == rest.data()) return std::nullopt;
    return parent;
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
