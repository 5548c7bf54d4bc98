#include "platform/linux/sched/in_process_task_policy_runner.h"

#include "platform/linux/sched/taskpolicy_command.h"

namespace korvane::linux_platform {

InProcessTaskPolicyRunner::InProcessTaskPolicyRunner(ProcessRunner& others, std::string toolPath,
                                                     const std::string& sysfsRoot, std::string procRoot)
    : others_(others),
      toolPath_(std::move(toolPath)),
      policy_(CpuTopology::detect(sysfsRoot), std::move(procRoot)) {}

Expected<ProcessResult, LaunchError> InProcessTaskPolicyRunner::run(const std::string& path,
                                                                    const std::vector<std::string>& arguments,
                                                                    OutputCapture capture) {
    if (path != toolPath_) return others_.run(path, arguments, capture);
    // The tool writes nothing to standard error, so both capture modes see
    // the same bytes.
    std::lock_guard lock(mutex_);
    return runTaskPolicyCommand(arguments, policy_, &memory_);
}

}  // namespace korvane::linux_platform
