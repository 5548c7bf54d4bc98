#include "platform/linux/proc/pid_generation.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

namespace korvane::linux_platform {

PidGeneration::PidGeneration(const std::string& procRoot)
    : loadavg_(::open((procRoot + "/loadavg").c_str(), O_RDONLY | O_CLOEXEC)) {}

std::optional<std::int32_t> PidGeneration::now() const {
    if (!loadavg_) return std::nullopt;
    char buffer[128];
    // The kernel formats the file afresh for every read from its start.
    ssize_t n = ::pread(loadavg_.get(), buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    return parseLastPid(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::optional<std::int32_t> parseLastPid(std::string_view loadavg) {
    while (!loadavg.empty() && (loadavg.back() == '\n' || loadavg.back() == ' ')) loadavg.remove_suffix(1);
    auto space = loadavg.rfind(' ');
    // Five fields; the fourth is "running/total".
    if (space == std::string_view::npos || loadavg.find('/') == std::string_view::npos) return std::nullopt;
    std::string_view last = loadavg.substr(space + 1);
    std::int32_t pid = 0;
    auto [end, error] = std::from_chars(last.data(), last.data() + last.size(), pid);
    if (error != std::errc() || end != last.data() + last.size() || pid < 0) return std::nullopt;
    return pid;
}

}  // namespace korvane::linux_platform
