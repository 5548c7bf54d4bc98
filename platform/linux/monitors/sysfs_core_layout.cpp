#include "platform/linux/monitors/sysfs_core_layout.h"

#include "platform/linux/machine/cpu_topology_reader.h"

namespace korvane::linux_platform {

app::CoreLayout SysfsCoreLayoutSource::currentLayout() {
    CpuTopology topology = readCpuTopology(sysfsRoot_);
    return {topology.performanceCPUs(), topology.efficiencyCPUs()};
}

}  // namespace korvane::linux_platform
