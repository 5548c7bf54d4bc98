#pragma once
// CPUID as a table: CPU n → vendor and the leaves it answers. Leaves 0 and
// 0x80000000 report the highest leaf of their range in the table, as a
// processor does; a CPU missing from the table is one no thread can run on.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "shared/topology/cpuid_core_kinds.h"

namespace korvane::testing {

struct FakeCpu {
    std::string vendor;
    std::map<std::pair<std::uint32_t, std::uint32_t>, CpuidRegisters> leaves;
};

class FakeCpuid final : public CpuidReader {
public:
    void add(const char* cpus, const FakeCpu& cpu) {
        CpuList numbers = parseCpuList(cpus).value();
        for (int n : numbers) table_[n] = cpu;
    }

    std::optional<std::vector<CpuidRegisters>> readOn(int n, std::span<const CpuidQuery> queries) override {
        auto cpu = table_.find(n);
        if (cpu == table_.end()) return std::nullopt;
        const auto& leaves = cpu->second.leaves;
        std::vector<CpuidRegisters> answers;
        for (const CpuidQuery& query : queries) {
            CpuidRegisters r;
            if (query.leaf == 0 || query.leaf == 0x80000000) {
                for (const auto& [key, value] : leaves) {
                    if ((key.first & 0x80000000) == query.leaf) r.eax = std::max(r.eax, key.first);
                }
                if (query.leaf == 0) {
                    const char* vendor = cpu->second.vendor.c_str();  // 12 characters
                    std::memcpy(&r.ebx, vendor, 4);
                    std::memcpy(&r.edx, vendor + 4, 4);
                    std::memcpy(&r.ecx, vendor + 8, 4);
                }
            } else if (auto leaf = leaves.find({query.leaf, query.subleaf}); leaf != leaves.end()) {
                r = leaf->second;
            }
            answers.push_back(r);
        }
        return answers;
    }

private:
    std::map<int, FakeCpu> table_;
};

// A hybrid Intel core: CPUID.07H:EDX[15], and leaf 0x1A's type (0x40 Core, 0x20 Atom).
inline FakeCpu intelCore(std::uint32_t coreType) {
    return {"GenuineIntel", {{{0x7, 0}, {.edx = 1u << 15}}, {{0x1A, 0}, {.eax = coreType << 24}}}};
}

// A Zen core with leaf 0x80000026: EAX[30] heterogeneous, sub-leaf 0 at the
// core level (ECX[15:8] = 1) with two threads, EBX[31:28] the type.
inline FakeCpu amdCore(std::uint32_t coreType, bool heterogeneous = true) {
    CpuidRegisters level{.eax = heterogeneous ? 1u << 30 : 0, .ebx = coreType << 28 | 2, .ecx = 1u << 8};
    return {"AuthenticAMD", {{{0x80000026, 0}, level}}};
}

}  // namespace korvane::testing
