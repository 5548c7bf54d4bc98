#pragma once
// Where the core sampler gets each CPU's cumulative tick counters. The
// platform implements it (on Linux from /proc/stat); tests script it.
#include <cstdint>
#include <vector>

namespace korvane::app {

// Cumulative ticks of one CPU since boot, folded into the four states the
// usage arithmetic knows. The counters wrap at 32 bits; differences are taken
// in the same unsigned arithmetic, so a wrap between two samples is harmless.
struct ProcessorTicks {
    std::int64_t cpu = 0;  // the kernel's CPU number, not a position in any list
    std::uint32_t user = 0;
    std::uint32_t system = 0;
    std::uint32_t idle = 0;
    std::uint32_t nice = 0;

    friend bool operator==(const ProcessorTicks&, const ProcessorTicks&) = default;
};

class ProcessorTickSource {
public:
    virtual ~ProcessorTickSource() = default;

    // Replaces the contents of `into` with one entry per online CPU, in
    // ascending CPU number. Sampling runs every few seconds for the life of
    // the program, so an implementation reuses `into` and its own buffers and
    // allocates nothing once they have grown to the machine's size. False
    // when no snapshot could be taken; `into` is then unspecified.
    virtual bool fetchTicks(std::vector<ProcessorTicks>& into) = 0;
};

}  // namespace korvane::app
