#include "platform/linux/monitors/sysfs_core_layout.h"

#include "shared/topology/cpu_topology.h"

namespace korvane::linux_platform {

app::CoreLayout SysfsCoreLayoutSource::currentLayout() {
    CpuTopology topology = CpuTopology::detect(sysfsRoot_);
    return {topology.performanceCPUs(), topology.efficiencyCPUs()};
}

}  // namespace korvane::linux_platform
