#include "shared/topology/cpuid_core_kinds.h"

#include <cstdio>
#include <iterator>

#include "shared/util/expected.h"

namespace korvane {
namespace {

// The bit layout is Intel's SDM (CPUID leaves 07H and 1AH) and AMD's APM
// volume 3 (Fn8000_0026, Extended CPU Topology), as Linux reads them in
// arch/x86/kernel/cpu (scattered.c, topology_amd.c, topology_common.c).
constexpr CpuidQuery kVendor{0x0, 0};               // EAX: highest basic leaf
constexpr CpuidQuery kStructuredFeatures{0x7, 0};   // EDX[15]: hybrid
constexpr CpuidQuery kIntelCoreType{0x1A, 0};       // EAX[31:24]: core type
constexpr CpuidQuery kExtendedRange{0x80000000, 0};  // EAX: highest extended leaf
constexpr CpuidQuery kAmdTopology{0x80000026, 0};   // sub-leaf 0 is the core level

constexpr std::uint32_t kIntelHybrid = 1u << 15;
constexpr std::uint32_t kAmdHeterogeneousCores = 1u << 30;
constexpr std::uint32_t kAmdCoreLevel = 1;  // ECX[15:8], the level type

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// EBX, EDX, ECX of leaf 0, as printable text.
std::string vendorOf(const CpuidRegisters& leaf0) {
    std::string vendor;
    for (std::uint32_t word : {leaf0.ebx, leaf0.edx, leaf0.ecx}) {
        for (int shift = 0; shift < 32; shift += 8) {
            char c = static_cast<char>((word >> shift) & 0xFF);
            vendor.push_back(c >= 0x20 && c < 0x7F ? c : '?');
        }
    }
    return vendor;
}

using KindOrWhy = Expected<CpuKind, std::string>;

KindOrWhy intelKind(const CpuidRegisters& leaf1A) {
    switch (leaf1A.eax >> 24) {
        case 0x40: return CpuKind::Performance;  // Core
        case 0x20: return CpuKind::Efficiency;   // Atom, the low-power E-cores included
        default: return unexpected("reports core type " + hex(leaf1A.eax >> 24) + " in leaf 0x1A");
    }
}

KindOrWhy amdKind(const CpuidRegisters& topology) {
    std::uint32_t level = (topology.ecx >> 8) & 0xFF;
    if (level != kAmdCoreLevel) return unexpected("starts leaf 0x80000026 at level type " + hex(level));
    switch (topology.ebx >> 28) {
        case 0: return CpuKind::Performance;
        case 1: return CpuKind::Efficiency;
        case 2: return CpuKind::Efficiency;  // low power
        default: return unexpected("reports core type " + hex(topology.ebx >> 28) + " in leaf 0x80000026");
    }
}

struct Probe {
    CpuidQuery query;
    TopologySource source;
    KindOrWhy (*kindOf)(const CpuidRegisters&);
};

CpuidCoreKinds homogeneous(std::string note, bool unplaced = false) {
    return {std::nullopt, TopologySource::Homogeneous, "CPUID: " + std::move(note), unplaced};
}

CpuidCoreKinds notAsked(int cpu) { return homogeneous("CPU " + std::to_string(cpu) + " could not be asked", true); }

}  // namespace

CpuidCoreKinds readCpuidCoreKinds(const CpuList& cpus, CpuidReader& reader) {
    if (cpus.empty()) return homogeneous("no CPU to ask");
    const CpuidQuery first[] = {kVendor, kStructuredFeatures, kExtendedRange, kAmdTopology};
    auto answers = reader.readOn(cpus.front(), first);
    if (!answers || answers->size() != std::size(first)) return notAsked(cpus.front());
    const CpuidRegisters& leaf0 = (*answers)[0];
    const CpuidRegisters& leaf7 = (*answers)[1];
    const CpuidRegisters& extended = (*answers)[2];
    const CpuidRegisters& amdTopology = (*answers)[3];
    // A leaf above the highest one reported answers with another leaf's
    // data, so every leaf is read only under its range.
    const std::string vendor = vendorOf(leaf0);
    Probe probe;
    if (vendor == "GenuineIntel") {
        if (leaf0.eax < kStructuredFeatures.leaf || !(leaf7.edx & kIntelHybrid)) {
            return homogeneous(vendor + " without the hybrid flag");
        }
        if (leaf0.eax < kIntelCoreType.leaf) return homogeneous(vendor + " is hybrid but has no leaf 0x1A", true);
        probe = {kIntelCoreType, TopologySource::IntelCpuid, intelKind};
    } else if (vendor == "AuthenticAMD") {
        if (extended.eax < kAmdTopology.leaf) return homogeneous(vendor + " without leaf 0x80000026");
        if (!(amdTopology.eax & kAmdHeterogeneousCores)) return homogeneous(vendor + " without heterogeneous cores");
        probe = {kAmdTopology, TopologySource::AmdCpuid, amdKind};
    } else {
        return homogeneous(vendor + ", a vendor without known core types");
    }

    CpuList efficiency;
    bool sawPerformance = false;
    for (int cpu : cpus) {
        auto answer = reader.readOn(cpu, std::span(&probe.query, 1));
        if (!answer || answer->size() != 1) return notAsked(cpu);
        auto kind = probe.kindOf(answer->front());
        if (!kind) {
            return homogeneous("CPU " + std::to_string(cpu) + " " + kind.error() + ", which Korvane cannot place",
                               true);
        }
        if (*kind == CpuKind::Efficiency) {
            efficiency.push_back(cpu);
        } else {
            sawPerformance = true;
        }
    }
    if (efficiency.empty() || !sawPerformance) {
        return homogeneous(vendor + " reports one core type on every CPU");
    }
    return {std::move(efficiency), probe.source, {}, false};
}

}  // namespace korvane
