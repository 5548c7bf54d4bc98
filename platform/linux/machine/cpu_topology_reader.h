#pragma once
// Which CPUs are performance cores and which are efficiency cores. sysfs
// first: the Intel hybrid PMU lists, then differing cpu_capacity values, then
// per-core-type PMU folders (Arm, Apple silicon). Where none of them says
// anything, the processor itself through CPUID (x86).
#include <string>

#include "shared/topology/cpu_topology.h"
#include "shared/topology/cpuid_core_kinds.h"

namespace korvane::linux_platform {

// Reads the tree below `sysfsRoot` ("/sys" on a real machine), then asks
// `cpuid` when it is given. Only the online CPUs this process's cpuset
// allows count (a container sees its own). Never fails: whatever cannot be
// read or placed leaves the machine homogeneous, and an answer CPUID gives
// that cannot be placed is logged.
CpuTopology readCpuTopology(const std::string& sysfsRoot, CpuidReader* cpuid);

// The same with this processor's own CPUID, which speaks for the machine
// only when `sysfsRoot` is its real /sys: a fixture tree describes another.
CpuTopology readCpuTopology(const std::string& sysfsRoot);

}  // namespace korvane::linux_platform
