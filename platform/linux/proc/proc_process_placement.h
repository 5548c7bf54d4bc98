#pragma once
// Reads each thread's scheduling policy and allowed CPUs from
// /proc/PID/task/TID, which any user may read for any process.
#include <string>

#include "app/focus/process_placement.h"
#include "shared/topology/cpu_list.h"

namespace korvane::linux_platform {

class ProcProcessPlacement final : public app::ProcessPlacement {
public:
    // `efficiencyCPUs` is empty on a machine with one kind of core: only the
    // idle policy then tells a confined thread.
    ProcProcessPlacement(std::string procRoot, CpuList efficiencyCPUs);

    bool confinedToBackground(std::int32_t pid) const override;

private:
    bool threadConfined(const std::string& taskDirectory) const;

    std::string procRoot_;
    CpuList efficiencyCPUs_;
};

}  // namespace korvane::linux_platform
