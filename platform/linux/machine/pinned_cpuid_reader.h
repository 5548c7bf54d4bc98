#pragma once
// CPUID asked on a given CPU by a short-lived thread pinned there, so the
// caller's own affinity is never touched.
#include "shared/topology/cpuid_core_kinds.h"

namespace korvane::linux_platform {

class PinnedCpuidReader final : public CpuidReader {
public:
    // Whether this processor has CPUID at all (x86 only).
    static bool available();
    std::optional<std::vector<CpuidRegisters>> readOn(int cpu, std::span<const CpuidQuery> queries) override;
};

}  // namespace korvane::linux_platform
