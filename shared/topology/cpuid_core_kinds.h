#pragma once
// Core kinds as an x86 processor reports them itself, through CPUID, for the
// machines whose sysfs says nothing: AMD's parts with full and compact cores
// (Zen 5 with Zen 5c), and Intel hybrids in a container or under a kernel
// without the hybrid PMU driver.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shared/topology/cpu_list.h"
#include "shared/topology/cpu_topology.h"

namespace korvane {

struct CpuidQuery {
    std::uint32_t leaf = 0;
    std::uint32_t subleaf = 0;
};

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// CPUID asked on one logical CPU at a time: the core type is the type of the
// core the instruction runs on.
class CpuidReader {
public:
    virtual ~CpuidReader() = default;
    // The answers to `queries`, in their order, from a thread running on
    // `cpu`; nothing when no thread could run there.
    virtual std::optional<std::vector<CpuidRegisters>> readOn(int cpu, std::span<const CpuidQuery> queries) = 0;
};

struct CpuidCoreKinds {
    // Set only when CPUID tells two kinds apart among the CPUs asked.
    std::optional<CpuList> efficiency;
    TopologySource source = TopologySource::Homogeneous;
    // What CPUID said, for people ("CPUID: AuthenticAMD without leaf 0x80000026").
    std::string note;
    // CPUID answered something Korvane cannot place (an unknown core type, a
    // CPU that could not be asked); the note says what. The machine is then
    // treated as homogeneous rather than half-known.
    bool unplaced = false;
};

// Asks the first of `cpus` whether the processor reports core types at all,
// and only then every one of them.
CpuidCoreKinds readCpuidCoreKinds(const CpuList& cpus, CpuidReader& reader);

}  // namespace korvane
