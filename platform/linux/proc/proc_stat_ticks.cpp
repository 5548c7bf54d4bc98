#include "platform/linux/proc/proc_stat_ticks.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>

#include "shared/topology/cpu_list.h"

namespace korvane::linux_platform {
namespace {

// user nice system idle iowait irq softirq steal: the ones we fold.
constexpr std::size_t kFoldedFields = 8;
constexpr std::size_t kRequiredFields = 4;
constexpr std::size_t kFirstReadSize = 16 * 1024;

bool startsWithCpu(std::string_view line) { return line.size() >= 3 && line.compare(0, 3, "cpu") == 0; }

// One "cpuN ..." line; false for the all-CPU line and anything malformed.
bool parseCpuLine(std::string_view line, app::ProcessorTicks& ticks) {
    std::size_t at = 3;
    std::size_t digitsEnd = at;
    while (digitsEnd < line.size() && line[digitsEnd] >= '0' && line[digitsEnd] <= '9') ++digitsEnd;
    if (digitsEnd == at || digitsEnd - at > 5) return false;
    int cpu = 0;
    std::from_chars(line.data() + at, line.data() + digitsEnd, cpu);
    if (cpu > kMaxCpuNumber) return false;

    std::array<std::uint64_t, kFoldedFields> fields{};
    std::size_t count = 0;
    at = digitsEnd;
    while (count < kFoldedFields) {
        std::size_t start = at;
        while (at < line.size() && line[at] == ' ') ++at;
        if (at == line.size()) break;
        if (at == start) return false;  // "cpu1x ..." or a number glued to the name
        auto [end, error] = std::from_chars(line.data() + at, line.data() + line.size(), fields[count]);
        if (error != std::errc()) return false;
        at = static_cast<std::size_t>(end - line.data());
        if (at < line.size() && line[at] != ' ') return false;
        ++count;
    }
    if (count < kRequiredFields) return false;

    auto cut = [](std::uint64_t value) { return static_cast<std::uint32_t>(value); };
    const auto& [user, nice, system, idle, iowait, irq, softirq, steal] = fields;
    ticks.cpu = cpu;
    ticks.user = cut(user);
    ticks.system = cut(system + irq + softirq + steal);
    ticks.idle = cut(idle + iowait);
    ticks.nice = cut(nice);
    return true;
}

}  // namespace

bool parseProcStatTicks(std::string_view text, std::vector<app::ProcessorTicks>& into) {
    into.clear();
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!startsWithCpu(line)) {
            if (!into.empty()) break;  // the CPU lines are over
            continue;
        }
        app::ProcessorTicks ticks;
        if (parseCpuLine(line, ticks)) into.push_back(ticks);
    }
    return !into.empty();
}

ProcStatTickSource::ProcStatTickSource(const std::string& procRoot) : path_(procRoot + "/stat") {}

bool ProcStatTickSource::fetchTicks(std::vector<app::ProcessorTicks>& into) {
    if (buffer_.empty()) buffer_.resize(kFirstReadSize);
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // The CPU lines come first; the interrupt counters after them can be far
    // longer than all of them together, so reading stops once a complete
    // line that is not a CPU line has arrived.
    std::size_t filled = 0;
    std::size_t checked = 0;  // start of the first line not yet looked at
    bool failed = false;
    for (;;) {
        if (filled == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        ssize_t n = ::read(fd, buffer_.data() + filled, buffer_.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
        bool pastCpuLines = false;
        for (;;) {
            std::string_view rest(buffer_.data() + checked, filled - checked);
            std::size_t end = rest.find('\n');
            if (end == std::string_view::npos) break;
            if (!startsWithCpu(rest.substr(0, end))) {
                pastCpuLines = true;
                break;
            }
            checked += end + 1;
        }
        if (pastCpuLines) break;
    }
    ::close(fd);
    if (failed) return false;
    return parseProcStatTicks(std::string_view(buffer_.data(), filled), into);
}

}  // namespace korvane::linux_platform
