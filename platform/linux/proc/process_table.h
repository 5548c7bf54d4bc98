#pragma once
// The process table, read from /proc through one held descriptor of its
// folder. Each read lists the pids and reads every process's stat line; a
// command line is read only for a pid, start time or command name not seen
// before. A process that execs keeps its pid and start time, but its name
// changes with its program, and so its command line is read again.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/process/process_entry.h"
#include "shared/util/expected.h"
#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

class ProcessTable {
public:
    explicit ProcessTable(std::string procRoot = "/proc");

    // Every process in pid order, kernel threads included (with an empty
    // command line, as zombies have). The error says why /proc could not
    // be read.
    Expected<std::vector<ProcessEntry>, std::string> read();

    // How many command lines the last read had to read.
    std::size_t commandLinesRead() const;

private:
    struct Known {
        std::uint64_t startTime = 0;
        std::string name;  // the stat line's command name
        std::string commandLine;
    };

    // Scans of Beast Mode and of the jail may read at once.
    mutable std::mutex mutex_;
    std::string root_;
    OwnedFd folder_;
    std::unordered_map<std::int32_t, Known> known_;
    std::size_t commandLinesRead_ = 0;
};

// A process's command line as ps shows it: arguments joined by spaces,
// control characters and bytes that are not UTF-8 turned into "?".
std::string printableCommandLine(std::string_view raw);

}  // namespace korvane::linux_platform
