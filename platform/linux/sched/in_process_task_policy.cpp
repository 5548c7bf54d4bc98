#include "platform/linux/sched/in_process_task_policy.h"

#include "platform/linux/sched/taskpolicy_command.h"

namespace korvane::linux_platform {

InProcessTaskPolicy::InProcessTaskPolicy(const std::string& sysfsRoot, std::string procRoot, StateFile* record)
    : policy_(CpuTopology::detect(sysfsRoot), procRoot), tree_(procRoot), record_(record) {
    if (!record_) return;
    if (auto text = record_->load()) {
        restored_ = memory_.restore(*text, [this](pid_t pid) -> std::optional<std::uint64_t> {
            auto stat = tree_.stat(pid);
            return stat ? std::optional(stat->startTime) : std::nullopt;
        });
        saved_ = std::move(*text);
    }
}

TaskPolicyResult InProcessTaskPolicy::apply(std::int32_t pid) { return run(true, pid); }

TaskPolicyResult InProcessTaskPolicy::release(std::int32_t pid) { return run(false, pid); }

TaskPolicyResult InProcessTaskPolicy::run(bool background, std::int32_t pid) {
    std::lock_guard lock(mutex_);
    auto done = background ? policy_.apply(pid, &memory_) : policy_.release(pid, &memory_);
    if (record_) {
        // Written before the reply leaves, so whatever a client was told has
        // happened is on record should the helper die the next moment.
        std::string text = memory_.serialize();
        if (text != saved_ && record_->save(text)) saved_ = std::move(text);
    }
    if (!done) return unexpected(taskPolicyFailureFor(pid, done.error()));
    return TaskPolicyChange{done->processes, done->threads};
}

}  // namespace korvane::linux_platform
