#pragma once
// What the helper needs of /proc/PID/stat, and its one parser.
#include <cstdint>
#include <string_view>

#include "shared/util/expected.h"

namespace korvane {

struct ProcessStat {
    std::int32_t parent = 0;
    unsigned flags = 0;           // PF_* flags of the task
    std::int32_t threads = 0;     // num_threads
    std::uint64_t startTime = 0;  // clock ticks after boot; with the pid, names one process
    std::uint32_t policy = 0;     // the thread's scheduling policy (SCHED_*), read only up to field 41
    bool isKernelThread() const { return (flags & 0x00200000U) != 0; }  // PF_KTHREAD
};

// The command name may hold spaces and parentheses, so fields are counted
// from its last ')'. EINVAL when the text is not a stat line up to field
// `lastField`: 4 asks only for the parent, and leaves the rest 0; 41 adds
// the scheduling policy.
Expected<ProcessStat, int> parseProcessStat(std::string_view text, int lastField = 22);

}  // namespace korvane
