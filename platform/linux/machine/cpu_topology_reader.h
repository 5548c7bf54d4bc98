#pragma once
// Which CPUs are performance cores and which are efficiency cores, as sysfs
// tells: the Intel hybrid PMU lists, then differing cpu_capacity values, then
// per-core-type PMU folders (Arm, Apple silicon).
#include <string>

#include "shared/topology/cpu_topology.h"

namespace korvane::linux_platform {

// Reads the tree below `sysfsRoot` ("/sys" on a real machine). Never fails:
// whatever cannot be read leaves the machine homogeneous.
CpuTopology readCpuTopology(const std::string& sysfsRoot);

}  // namespace korvane::linux_platform
