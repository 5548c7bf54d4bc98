#include "platform/linux/sched/in_process_task_policy_runner.h"

#include "platform/linux/sched/taskpolicy_command.h"

namespace korvane::linux_platform {

InProcessTaskPolicyRunner::InProcessTaskPolicyRunner(ProcessRunner& others, std::string toolPath,
                                                     const std::string& sysfsRoot, std::string procRoot,
                                                     StateFile* record)
    : others_(others),
      toolPath_(std::move(toolPath)),
      policy_(CpuTopology::detect(sysfsRoot), procRoot),
      tree_(procRoot),
      record_(record) {
    if (!record_) return;
    if (auto text = record_->load()) {
        restored_ = memory_.restore(*text, [this](pid_t pid) -> std::optional<std::uint64_t> {
            auto stat = tree_.stat(pid);
            return stat ? std::optional(stat->startTime) : std::nullopt;
        });
        saved_ = std::move(*text);
    }
}

Expected<ProcessResult, LaunchError> InProcessTaskPolicyRunner::run(const std::string& path,
                                                                    const std::vector<std::string>& arguments,
                                                                    OutputCapture capture) {
    if (path != toolPath_) return others_.run(path, arguments, capture);
    // The tool writes nothing to standard error, so both capture modes see
    // the same bytes.
    std::lock_guard lock(mutex_);
    auto result = runTaskPolicyCommand(arguments, policy_, &memory_);
    if (record_) {
        // Written before the reply leaves, so whatever a client was told has
        // happened is on record should the helper die the next moment.
        std::string text = memory_.serialize();
        if (text != saved_ && record_->save(text)) saved_ = std::move(text);
    }
    return result;
}

}  // namespace korvane::linux_platform
