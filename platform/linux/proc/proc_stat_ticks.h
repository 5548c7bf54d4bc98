#pragma once
// Per-CPU tick counters from /proc/stat, for the core sampler.
//
// Each "cpuN" line is folded into the sampler's four states:
//   user   = user
//   system = system + irq + softirq + steal
//   idle   = idle + iowait
//   nice   = nice
// Guest time is already counted inside user and nice, so it is not added
// again. The kernel's 64-bit counters are cut to 32 bits; the sampler takes
// differences in wrapping 32-bit arithmetic, which gives the same answer.
#include <string>
#include <string_view>
#include <vector>

#include "app/monitors/processor_tick_source.h"

namespace korvane::linux_platform {

// The "cpuN" lines of `text`, indexed by N (an offline CPU has no line), in
// the order they appear. The all-CPU "cpu" line, lines with fewer than four
// counters and lines that are not numbers are left out. `into` is reused.
// False when no CPU line was found.
bool parseProcStatTicks(std::string_view text, std::vector<app::ProcessorTicks>& into);

class ProcStatTickSource final : public app::ProcessorTickSource {
public:
    // `procRoot` is "/proc" on a real machine.
    explicit ProcStatTickSource(const std::string& procRoot);

    // Reads only as far as the CPU lines go, into a buffer kept between
    // calls: after the first call on a machine nothing is allocated.
    bool fetchTicks(std::vector<app::ProcessorTicks>& into) override;

private:
    std::string path_;
    std::vector<char> buffer_;
};

}  // namespace korvane::linux_platform
