#pragma once
// CPUID as a table: CPU n → the leaves it answers, all zero for any other
// leaf; a CPU missing from the table is one no thread can run on.
#include <cstring>
#include <map>
#include <utility>

#include "shared/topology/cpuid_core_kinds.h"

namespace korvane::testing {

using FakeCpu = std::map<std::pair<std::uint32_t, std::uint32_t>, CpuidRegisters>;

class FakeCpuid final : public CpuidReader {
public:
    void add(const char* cpus, const FakeCpu& cpu) {
        CpuList numbers = parseCpuList(cpus).value();
        for (int n : numbers) table_[n] = cpu;
    }

    std::optional<std::vector<CpuidRegisters>> readOn(int n, std::span<const CpuidQuery> queries) override {
        auto cpu = table_.find(n);
        if (cpu == table_.end()) return std::nullopt;
        std::vector<CpuidRegisters> answers;
        for (const CpuidQuery& query : queries) {
            auto leaf = cpu->second.find({query.leaf, query.subleaf});
            answers.push_back(leaf == cpu->second.end() ? CpuidRegisters{} : leaf->second);
        }
        return answers;
    }

private:
    std::map<int, FakeCpu> table_;
};

// Leaf 0: the highest basic leaf, and the vendor's twelve characters in EBX, EDX, ECX.
inline CpuidRegisters vendorLeaf(std::uint32_t highest, const char (&vendor)[13]) {
    CpuidRegisters r{.eax = highest};
    std::memcpy(&r.ebx, vendor, 4);
    std::memcpy(&r.edx, vendor + 4, 4);
    std::memcpy(&r.ecx, vendor + 8, 4);
    return r;
}

// A hybrid Intel core: CPUID.07H:EDX[15], and leaf 0x1A's type (0x40 Core, 0x20 Atom).
inline FakeCpu intelCore(std::uint32_t coreType) {
    return {{{0, 0}, vendorLeaf(0x1A, "GenuineIntel")},
            {{0x7, 0}, {.edx = 1u << 15}},
            {{0x1A, 0}, {.eax = coreType << 24}}};
}

// A Zen core with leaf 0x80000026: EAX[30] heterogeneous, sub-leaf 0 at the
// core level (ECX[15:8] = 1) with two threads, EBX[31:28] the type.
inline FakeCpu amdCore(std::uint32_t coreType, bool heterogeneous = true) {
    CpuidRegisters level{.eax = heterogeneous ? 1u << 30 : 0, .ebx = coreType << 28 | 2, .ecx = 1u << 8};
    return {{{0, 0}, vendorLeaf(0x10, "AuthenticAMD")},
            {{0x80000000, 0}, {.eax = 0x80000026}},
            {{0x80000026, 0}, level}};
}

}  // namespace korvane::testing
