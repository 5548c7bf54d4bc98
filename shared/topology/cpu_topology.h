#pragma once
// Which logical CPUs are performance cores and which are efficiency cores.
// Shared by the taskpolicy library and the core sampler; the platform reads it.
#include <optional>
#include <string>
#include <string_view>

#include "shared/topology/cpu_list.h"

namespace korvane {

enum class CpuKind { Performance, Efficiency };

// Where the kinds came from, so a user can judge the answer.
enum class TopologySource {
    IntelHybridPmu,  // devices/cpu_core, cpu_atom (and cpu_lowpower) lists
    CpuCapacity,     // differing devices/system/cpu/cpuN/cpu_capacity values
    CoreTypePmu,     // ARM / Apple per-core-type PMU folders with a cpus file
    IntelCpuid,      // CPUID leaf 0x1A core types, asked on each CPU
    AmdCpuid,        // CPUID leaf 0x80000026 core types, asked on each CPU
    Homogeneous,     // nothing says the CPUs differ
};

class CpuTopology {
public:
    // CPUs in both lists count as efficiency. `note` says what the last
    // source asked answered, where the source alone does not tell a user
    // enough (why a machine counts as homogeneous, say).
    CpuTopology(CpuList performance, CpuList efficiency, TopologySource source, std::string note = {});

    const CpuList& onlineCPUs() const { return online_; }
    const CpuList& performanceCPUs() const { return performance_; }
    const CpuList& efficiencyCPUs() const { return efficiency_; }
    // Absent for a CPU that is not online.
    std::optional<CpuKind> kindOf(int cpu) const;
    // Both kinds are online, so confining work to one kind means something.
    bool isHybrid() const { return !performance_.empty() && !efficiency_.empty(); }
    TopologySource source() const { return source_; }
    const std::string& note() const { return note_; }

private:
    CpuList online_;
    CpuList performance_;
    CpuList efficiency_;
    TopologySource source_;
    std::string note_;
};

// "Intel hybrid PMU (cpu_core/cpu_atom)" and so on, for people.
std::string_view describeTopologySource(TopologySource source);

// Where the answer came from, with the note when there is one.
std::string describeTopologyOrigin(const CpuTopology& topology);

// One line for a log: "performance 0-3, efficiency 4-7 — " and the origin.
std::string summarizeTopology(const CpuTopology& topology);

// Whether a per-core-type PMU folder name (for example "apple_icestorm_pmu"
// or "armv8_cortex_a55") belongs to an efficiency core design.
bool isEfficiencyCorePmuName(std::string_view name);

}  // namespace korvane
