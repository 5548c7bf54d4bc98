#include "platform/linux/sched/cpu_mask.h"

#include <cerrno>

namespace korvane::linux_platform {
namespace {

// The kernel refuses sched_getaffinity with EINVAL when the buffer is smaller
// than its own mask; probe once, growing from cpu_set_t's 1024 CPUs.
std::size_t kernelMaskWords() {
    static const std::size_t words = [] {
        std::size_t count = sizeof(cpu_set_t) / sizeof(unsigned long);
        for (int attempt = 0; attempt < 8; ++attempt, count *= 2) {
            std::vector<unsigned long> probe(count);
            if (::sched_getaffinity(0, count * sizeof(unsigned long), reinterpret_cast<cpu_set_t*>(probe.data())) ==
                    0 ||
                errno != EINVAL) {
                break;
            }
        }
        return count;
    }();
    return words;
}

}  // namespace

CpuMask::CpuMask() : words_(kernelMaskWords(), 0UL) {}

CpuMask CpuMask::all() {
    CpuMask mask;
    for (auto& word : mask.words_) word = ~0UL;
    return mask;
}

CpuMask CpuMask::of(const CpuList& cpus) {
    CpuMask mask;
    for (int cpu : cpus) mask.set(cpu);
    return mask;
}

void CpuMask::set(int cpu) {
    if (cpu < 0 || static_cast<std::size_t>(cpu / kBitsPerWord) >= words_.size()) return;
    words_[static_cast<std::size_t>(cpu / kBitsPerWord)] |= 1UL << (cpu % kBitsPerWord);
}

bool CpuMask::test(int cpu) const {
    if (cpu < 0 || static_cast<std::size_t>(cpu / kBitsPerWord) >= words_.size()) return false;
    return (words_[static_cast<std::size_t>(cpu / kBitsPerWord)] >> (cpu % kBitsPerWord)) & 1UL;
}

bool CpuMask::isEmpty() const {
    for (auto word : words_) {
        if (word != 0) return false;
    }
    return true;
}

bool CpuMask::isSubsetOf(const CpuMask& other) const {
    for (std::size_t i = 0; i < words_.size(); ++i) {
        unsigned long theirs = i < other.words_.size() ? other.words_[i] : 0UL;
        if ((words_[i] & ~theirs) != 0) return false;
    }
    return true;
}

CpuList CpuMask::cpus() const {
    CpuList list;
    for (std::size_t i = 0; i < words_.size(); ++i) {
        for (int bit = 0; bit < kBitsPerWord; ++bit) {
            if ((words_[i] >> bit) & 1UL) list.push_back(static_cast<int>(i) * kBitsPerWord + bit);
        }
    }
    return list;
}

}  // namespace korvane::linux_platform
