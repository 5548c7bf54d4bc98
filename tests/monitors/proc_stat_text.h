#pragma once
// /proc/stat text as the kernel writes it, for tests and benchmarks.
#include <cstdint>
#include <string>

namespace korvane::testing {

// The all-CPU line, `cpus` "cpuN" lines with ten counters each (CPU n's
// counters grow with n and `tick`), and the lines that follow them on a real
// machine, including a long "intr" line.
inline std::string procStatText(int cpus, std::uint64_t tick = 1) {
    // Appended piece by piece: GCC 12 warns falsely on "literal" + string.
    std::string text;
    text.append("cpu  ").append(std::to_string(tick * 1000)).append(" 0 0 0 0 0 0 0 0 0\n");
    for (int n = 0; n < cpus; ++n) {
        std::uint64_t base = tick * 100 + static_cast<std::uint64_t>(n);
        text.append("cpu").append(std::to_string(n));
        for (std::uint64_t counter : {base * 3, base, base * 2, base * 40}) {
            text.append(" ").append(std::to_string(counter));
        }
        text.append(" 7 1 2 0 0 0\n");
    }
    text += "intr 123456789";
    for (int i = 0; i < 2000; ++i) text.append(" ").append(std::to_string(i % 7));
    text += "\nctxt 987654321\nbtime 1765000000\nprocesses 424242\nprocs_running 3\nprocs_blocked 0\n";
    text += "softirq 1 2 3 4 5 6 7 8 9 10 11\n";
    return text;
}

}  // namespace korvane::testing
