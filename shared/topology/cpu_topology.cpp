#include "shared/topology/cpu_topology.h"

#include <algorithm>
#include <array>

namespace korvane {

CpuTopology::CpuTopology(CpuList performance, CpuList efficiency, TopologySource source, std::string note)
    : source_(source), note_(std::move(note)) {
    auto normalise = [](CpuList& cpus) {
        std::sort(cpus.begin(), cpus.end());
        cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    };
    normalise(performance);
    normalise(efficiency);
    efficiency_ = std::move(efficiency);
    performance_ = subtractCpuLists(performance, efficiency_);
    online_ = uniteCpuLists(performance_, efficiency_);
}

std::optional<CpuKind> CpuTopology::kindOf(int cpu) const {
    if (std::binary_search(efficiency_.begin(), efficiency_.end(), cpu)) return CpuKind::Efficiency;
    if (std::binary_search(performance_.begin(), performance_.end(), cpu)) return CpuKind::Performance;
    return std::nullopt;
}

std::string_view describeTopologySource(TopologySource source) {
    switch (source) {
        case TopologySource::IntelHybridPmu:
            return "Intel hybrid PMU lists (cpu_core, cpu_atom)";
        case TopologySource::CpuCapacity:
            return "differing cpu_capacity values";
        case TopologySource::CoreTypePmu:
            return "per-core-type PMU folders";
        case TopologySource::IntelCpuid:
            return "CPUID core types (Intel leaf 0x1A)";
        case TopologySource::AmdCpuid:
            return "CPUID core types (AMD leaf 0x80000026)";
        case TopologySource::Homogeneous:
            break;
    }
    return "no sign of more than one core kind";
}

std::string describeTopologyOrigin(const CpuTopology& topology) {
    std::string origin(describeTopologySource(topology.source()));
    if (!topology.note().empty()) origin += " (" + topology.note() + ")";
    return origin;
}

std::string summarizeTopology(const CpuTopology& topology) {
    auto listOrNone = [](const CpuList& cpus) { return cpus.empty() ? std::string("none") : formatCpuList(cpus); };
    return "performance " + listOrNone(topology.performanceCPUs()) + ", efficiency " +
           listOrNone(topology.efficiencyCPUs()) + " — " + describeTopologyOrigin(topology);
}

bool isEfficiencyCorePmuName(std::string_view name) {
    // Apple's efficiency designs by code name (M1, M2, M3 generations).
    for (std::string_view design : {"icestorm", "blizzard", "sawtooth"}) {
        if (name.find(design) != std::string_view::npos) return true;
    }
    // Arm's little cores. The number is compared whole, so cortex_a7 does
    // not match cortex_a76.
    constexpr std::string_view cortex = "cortex_a";
    auto at = name.find(cortex);
    if (at == std::string_view::npos) return false;
    auto digits = name.substr(at + cortex.size());
    digits = digits.substr(0, std::min(digits.find_first_not_of("0123456789"), digits.size()));
    constexpr std::array<std::string_view, 8> littleCores = {"5", "7", "32", "35", "53", "55", "510", "520"};
    return std::find(littleCores.begin(), littleCores.end(), digits) != littleCores.end();
}

}  // namespace korvane
