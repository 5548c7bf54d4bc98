#include "platform/linux/machine/pinned_cpuid_reader.h"

#include <sched.h>

#include <system_error>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KORVANE_HAS_CPUID 1
#else
#define KORVANE_HAS_CPUID 0
#endif

namespace korvane::linux_platform {
namespace {

// Moves the calling thread onto `cpu` alone; false when it may not run there
// (offline, or outside the cpuset of its cgroup).
bool pinTo(int cpu) {
    if (cpu < 0 || cpu > kMaxCpuNumber) return false;
    cpu_set_t* set = CPU_ALLOC(cpu + 1);
    if (!set) return false;
    std::size_t size = CPU_ALLOC_SIZE(cpu + 1);
    CPU_ZERO_S(size, set);
    CPU_SET_S(static_cast<std::size_t>(cpu), size, set);
    bool pinned = ::sched_setaffinity(0, size, set) == 0;
    CPU_FREE(set);
    // The kernel moves the thread before the call returns.
    return pinned && ::sched_getcpu() == cpu;
}

}  // namespace

bool PinnedCpuidReader::available() { return KORVANE_HAS_CPUID != 0; }

std::optional<std::vector<CpuidRegisters>> PinnedCpuidReader::readOn(int cpu, std::span<const CpuidQuery> queries) {
#if KORVANE_HAS_CPUID
    std::optional<std::vector<CpuidRegisters>> answers;
    try {
        std::thread asker([&] {
            if (!pinTo(cpu)) return;
            std::vector<CpuidRegisters> registers;
            for (const CpuidQuery& query : queries) {
                CpuidRegisters r;
                __cpuid_count(query.leaf, query.subleaf, r.eax, r.ebx, r.ecx, r.edx);
                registers.push_back(r);
            }
            answers = std::move(registers);
        });
        asker.join();
    } catch (const std::system_error&) {
        return std::nullopt;  // no thread could be started
    }
    return answers;
#else
    (void)cpu;
    (void)queries;
    return std::nullopt;
#endif
}

}  // namespace korvane::linux_platform
