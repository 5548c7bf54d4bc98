#pragma once
// The scheduling state of one thread (affinity, policy with its parameters
// and nice value, I/O priority) and the system calls that read and set it.
// Every call returns 0 or the errno the kernel gave.
#include <sys/types.h>

#include <cstdint>

#include "platform/linux/sched/cpu_mask.h"

namespace korvane::linux_platform {

// The kernel's struct sched_attr in its first, 48-byte version. Debian 12's
// glibc has no wrapper and its kernel header clashes with <sched.h>, so the
// layout is ours; the size field tells the kernel which version it gets.
struct SchedAttributes {
    std::uint32_t size = sizeof(SchedAttributes);
    std::uint32_t policy = 0;  // SCHED_OTHER, SCHED_IDLE, ...
    std::uint64_t flags = 0;
    std::int32_t nice = 0;
    std::uint32_t priority = 0;  // real-time priority
    std::uint64_t runtime = 0;   // SCHED_DEADLINE parameters
    std::uint64_t deadline = 0;
    std::uint64_t period = 0;
};
static_assert(sizeof(SchedAttributes) == 48, "sched_attr version 0 is 48 bytes");

inline constexpr std::uint64_t kSchedFlagResetOnFork = 0x01;

inline constexpr int kIoPriorityClassShift = 13;
inline constexpr int kIoPriorityClassIdle = 3;
inline constexpr int kIoPriorityIdle = kIoPriorityClassIdle << kIoPriorityClassShift;
// No class of its own: the kernel derives the I/O priority from the nice value.
inline constexpr int kIoPriorityDefault = 0;

inline int ioPriorityClass(int ioPriority) { return (ioPriority >> kIoPriorityClassShift) & 0x7; }

struct ThreadSchedState {
    CpuMask affinity;
    SchedAttributes attributes;  // nice holds the thread's nice value for every policy
    int ioPriority = kIoPriorityDefault;
};

int readThreadSchedState(pid_t tid, ThreadSchedState& state);
int setThreadAffinity(pid_t tid, const CpuMask& mask);
int setThreadAttributes(pid_t tid, const SchedAttributes& attributes);
int setThreadIoPriority(pid_t tid, int ioPriority);

}  // namespace korvane::linux_platform
