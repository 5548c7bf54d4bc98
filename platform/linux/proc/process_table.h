#pragma once
// The process table, read from /proc through one held descriptor of its
// folder. A process is known by its /proc entry's inode number, which the
// listing gives for free: the kernel gives every new process's entry a new
// one, so a pid taken over by a later process is never mistaken for the
// earlier. Of a known process only the command line is read again (a
// process that execs keeps its pid and entry); it is converted only when
// its bytes changed. A new entry has its stat line read too.
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

    // How many command lines the last read found new or changed.
    std::size_t commandLinesRead() const;

private:
    struct Known {
        std::uint64_t inode = 0;
        std::int32_t parent = 0;
        std::uint64_t startTime = 0;
        bool kernelThread = false;
        std::string raw;  // the command line's bytes
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
