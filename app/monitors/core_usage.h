#pragma once
// One CPU's share of busy time over the last sampling period, the unit the
// core monitor, the tray heatmap and the core panel all draw.
#include <cstdint>

namespace korvane::app {

struct CoreUsage {
    std::int64_t id = 0;  // the kernel's CPU number (the N of "cpuN")
    double usage = 0.0;   // 0.0 to 1.0
    bool isPerformance = true;

    friend bool operator==(const CoreUsage&, const CoreUsage&) = default;
};

}  // namespace korvane::app
