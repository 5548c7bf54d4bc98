#include "platform/linux/sched/thread_sched.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace korvane::linux_platform {
namespace {

constexpr int kIoPriorityWhoProcess = 1;  // a single thread, despite the name

int result(long returned) { return returned < 0 ? errno : 0; }

}  // namespace

int readThreadSchedState(pid_t tid, ThreadSchedState& state) {
    if (::sched_getaffinity(tid, state.affinity.bytes(), state.affinity.data()) != 0) return errno;
    state.attributes = SchedAttributes{};
    if (::syscall(SYS_sched_getattr, tid, &state.attributes, sizeof(SchedAttributes), 0U) != 0) return errno;
    auto policy = state.attributes.policy;
    if (policy == SCHED_FIFO || policy == SCHED_RR || policy == SCHED_DEADLINE) {
        // sched_getattr reports no nice value for these policies, yet the
        // thread keeps one and gets it back when it returns to SCHED_OTHER.
        errno = 0;
        int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        if (nice == -1 && errno != 0) return errno;
        state.attributes.nice = nice;
    }
    long ioPriority = ::syscall(SYS_ioprio_get, kIoPriorityWhoProcess, tid);
    if (ioPriority < 0) return errno;
    state.ioPriority = static_cast<int>(ioPriority);
    return 0;
}

int setThreadAffinity(pid_t tid, const CpuMask& mask) {
    return result(::sched_setaffinity(tid, mask.bytes(), mask.data()));
}

int setThreadAttributes(pid_t tid, const SchedAttributes& attributes) {
    SchedAttributes copy = attributes;
    copy.size = sizeof(SchedAttributes);
    copy.flags &= kSchedFlagResetOnFork;
    return result(::syscall(SYS_sched_setattr, tid, &copy, 0U));
}

int setThreadIoPriority(pid_t tid, int ioPriority) {
    return result(::syscall(SYS_ioprio_set, kIoPriorityWhoProcess, tid, ioPriority));
}

}  // namespace korvane::linux_platform
