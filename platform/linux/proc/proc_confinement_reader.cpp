#include "platform/linux/proc/proc_confinement_reader.h"

#include <fcntl.h>
#include <sched.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "platform/linux/proc/proc_files.h"
#include "shared/process/process_stat.h"

namespace korvane::linux_platform {

namespace {

// The command name between the stat line's first '(' and its last ')'.
std::string commandName(std::string_view stat) {
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return {};
    return std::string(stat.substr(open + 1, close - open - 1));
}

}  // namespace

std::string allowedCpusOf(std::string_view status) {
    constexpr std::string_view kKey = "Cpus_allowed_list:";
    std::size_t at = 0;
    while (at < status.size()) {
        std::size_t end = status.find('\n', at);
        if (end == std::string_view::npos) end = status.size();
        std::string_view line = status.substr(at, end - at);
        if (line.starts_with(kKey)) {
            line.remove_prefix(kKey.size());
            const auto first = line.find_first_not_of(" \t");
            return first == std::string_view::npos ? std::string() : std::string(line.substr(first));
        }
        at = end + 1;
    }
    return {};
}

ProcConfinementReader::ProcConfinementReader(std::string procRoot) : root_(std::move(procRoot)) {}

Expected<std::vector<app::ConfinedProcess>, std::string> ProcConfinementReader::readConfined() {
    OwnedFd folder(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return unexpected(root_ + ": " + std::strerror(errno));

    struct Seen {
        std::int32_t parent = 0;
        bool idle = false;
        std::string stat;
    };
    std::unordered_map<std::int32_t, Seen> table;
    const auto pids = numericEntries(folder.get());
    table.reserve(pids.size());
    char path[64];
    for (std::int32_t pid : pids) {
        auto text = readProcFileAt(folder.get(), procPath(path, pid, "stat"), 4096);
        if (!text) continue;  // ended since the listing
        auto stat = parseProcessStat(*text, 41);
        if (!stat || stat->isKernelThread()) continue;
        table[pid] = Seen{stat->parent, stat->policy == SCHED_IDLE, std::move(*text)};
    }

    std::vector<app::ConfinedProcess> confined;
    for (std::int32_t pid : pids) {
        auto found = table.find(pid);
        if (found == table.end() || !found->second.idle) continue;
        app::ConfinedProcess process{pid, commandName(found->second.stat), {}, {}};
        if (auto status = readProcFileAt(folder.get(), procPath(path, pid, "status"), 16384)) {
            process.cpus = allowedCpusOf(*status);
        }
        // Parents as the table saw them; a cycle cannot outlast the table's size.
        for (std::int32_t parent = found->second.parent; parent > 0 && process.ancestors.size() < table.size();) {
            process.ancestors.push_back(parent);
            auto up = table.find(parent);
            if (up == table.end()) break;
            parent = up->second.parent;
        }
        confined.push_back(std::move(process));
    }
    return confined;
}

}  // namespace korvane::linux_platform
