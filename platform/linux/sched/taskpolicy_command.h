#pragma once
// The taskpolicy command: its arguments, its one line of output and its exit
// status. The tool's main and the helper's in-process policy share its failures, so
// the helper's replies read the same whichever of the two did the work.
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/linux/sched/background_policy.h"
#include "shared/process/process_runner.h"
#include "shared/process/task_policy.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

inline constexpr const char* kTaskPolicyUsage = "usage: taskpolicy -b -p PID | -B -p PID | --topology";
// What --help prints after the usage line.
inline constexpr const char* kTaskPolicyHelp =
    "       taskpolicy --help | --version\n"
    "  -b -p PID    give a process, its threads and its descendants in the same cgroup the\n"
    "               background policy: efficiency CPUs, SCHED_IDLE, idle I/O class\n"
    "  -B -p PID    take the background policy away again\n"
    "  --topology   show which CPUs are which kind, and how that was found\n";

struct TaskPolicyRequest {
    enum class Action { Background, Release, Topology, Help, Version };
    Action action = Action::Help;
    pid_t pid = 0;
};

// The error text says what is wrong, without the usage.
Expected<TaskPolicyRequest, std::string> parseTaskPolicyArguments(const std::vector<std::string>& arguments);

// A failure of the policy as the tool reports it: its exit status and its
// one line (without the newline).
TaskPolicyFailure taskPolicyFailureFor(pid_t pid, const PolicyFailure& failure);

// One run of the command: everything it prints (standard output only) and
// its exit status. Success prints nothing for -b and -B.
ProcessResult runTaskPolicyCommand(const std::vector<std::string>& arguments, BackgroundPolicy& policy,
                                   RememberedStates* memory);

// The --topology text: one line per kind, then what the machine is.
std::string describeTopology(const CpuTopology& topology);

}  // namespace korvane::linux_platform
