#pragma once
// Which CPUs are performance CPUs and which are efficiency CPUs. The platform
// reads it from the machine's topology; the sampler asks again whenever the
// set of online CPUs changes.
#include "shared/topology/cpu_list.h"

namespace korvane::app {

struct CoreLayout {
    CpuList performance;  // ascending
    CpuList efficiency;   // ascending; empty on a machine with one kind of CPU
};

class CoreLayoutSource {
public:
    virtual ~CoreLayoutSource() = default;
    // Never fails: what cannot be read makes every CPU a performance CPU.
    virtual CoreLayout currentLayout() = 0;
};

}  // namespace korvane::app
