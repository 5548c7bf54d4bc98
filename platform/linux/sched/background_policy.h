#pragma once
// Gives a process the background policy and takes it away again: every
// thread, and every descendant that sits in the same cgroup (the same
// application on a systemd desktop), is confined to the efficiency CPUs when
// the machine has both kinds, scheduled SCHED_IDLE with its nice value kept,
// and put into the idle I/O class.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/proc/pid_generation.h"
#include "platform/linux/sched/cpu_mask.h"
#include "platform/linux/sched/remembered_states.h"
#include "platform/linux/sched/task_tree_reader.h"
#include "shared/topology/cpu_topology.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

enum class PolicyFailureReason {
    NoSuchProcess,     // no process has this pid (a thread id or a zombie counts as none)
    PermissionDenied,  // the kernel refused to change the process's threads
    KernelThread,      // kernel threads are never changed
    SystemError,       // anything else; `error` holds the errno
};

struct PolicyFailure {
    PolicyFailureReason reason;
    int error = 0;
};

// One reading of who started whom, shared by a batch of calls. With the pid
// generation it was read at, its start times are taken for the processes
// that have those pids while no process has been born since.
struct FamilyReading {
    const ProcessFamily& family;
    std::optional<std::int32_t> generation;
};

// What a successful call walked.
struct PolicyReport {
    int processes = 0;  // the process and its descendants in its cgroup
    int threads = 0;
    std::uint64_t startTime = 0;  // of the process itself, when read; else 0
};

class BackgroundPolicy {
public:
    explicit BackgroundPolicy(CpuTopology topology, std::string procRoot = "/proc");

    // With `memory`, what each thread had is recorded there first. A thread
    // that vanishes or refuses an affinity does not fail the call; a refusal
    // of permission on the process itself does, and undoes what was done.
    // Descendants are found in `family` when given (one reading of the
    // table shared by a batch), else from each thread's children.
    // Not synchronised; its owner serialises calls.
    Expected<PolicyReport, PolicyFailure> apply(pid_t pid, RememberedStates* memory = nullptr,
                                                const FamilyReading* family = nullptr);

    // Remembers in `memory` what apply would change, marked as noted, and
    // changes nothing: the process and its descendants in its cgroup, as
    // apply would walk them. An apply afterwards keeps what was noted.
    Expected<PolicyReport, PolicyFailure> note(pid_t pid, RememberedStates& memory,
                                               const FamilyReading* family = nullptr);

    // Restores what `memory` holds for each thread. Where nothing is
    // remembered, only what bears the background policy's marks is undone:
    // SCHED_IDLE becomes SCHED_OTHER with the thread's nice value, the idle
    // I/O class becomes the default, and a confinement to the efficiency
    // CPUs becomes the full mask. A process that never had the policy keeps
    // its own affinity and real-time policy.
    Expected<PolicyReport, PolicyFailure> release(pid_t pid, RememberedStates* memory = nullptr,
                                                  const FamilyReading* family = nullptr);

    const CpuTopology& topology() const { return topology_; }
    // Who started whom now, for a batch of calls.
    ProcessFamily family() { return tree_.family(); }
    std::optional<std::int32_t> generationNow() { return lastGeneration_ = generation_.now(); }

private:
    friend class PolicyWalk;

    CpuTopology topology_;
    TaskTreeReader tree_;
    CpuMask efficiencyMask_;
    CpuMask fullMask_;
    pid_t self_;  // the caller is never one of the descendants changed
    PidGeneration generation_;
    // The latest reading, taken after the last pass over a process's threads.
    std::optional<std::int32_t> lastGeneration_;
};

}  // namespace korvane::linux_platform
