#pragma once
// An affinity mask in the size the running kernel expects, so that
// sched_getaffinity works on machines with more CPUs than cpu_set_t holds.
#include <sched.h>

#include <cstddef>
#include <vector>

#include "shared/topology/cpu_list.h"

namespace korvane::linux_platform {

class CpuMask {
public:
    // Every CPU the mask can name; the kernel narrows it to the possible CPUs
    // and the thread's cpuset, which makes it the "no restriction" mask.
    static CpuMask all();
    static CpuMask of(const CpuList& cpus);
    CpuMask();

    void set(int cpu);
    bool test(int cpu) const;
    bool isEmpty() const;
    bool isSubsetOf(const CpuMask& other) const;
    CpuList cpus() const;
    bool operator==(const CpuMask& other) const { return words_ == other.words_; }

    cpu_set_t* data() { return reinterpret_cast<cpu_set_t*>(words_.data()); }
    const cpu_set_t* data() const { return reinterpret_cast<const cpu_set_t*>(words_.data()); }
    std::size_t bytes() const { return words_.size() * sizeof(unsigned long); }

private:
    static constexpr int kBitsPerWord = static_cast<int>(sizeof(unsigned long) * 8);
    std::vector<unsigned long> words_;
};

}  // namespace korvane::linux_platform
