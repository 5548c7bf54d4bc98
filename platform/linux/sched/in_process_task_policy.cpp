#include "platform/linux/sched/in_process_task_policy.h"

#include <optional>

#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/sched/taskpolicy_command.h"

namespace korvane::linux_platform {

InProcessTaskPolicy::InProcessTaskPolicy(const std::string& sysfsRoot, std::string procRoot, StateFile* record)
    : policy_(readCpuTopology(sysfsRoot), procRoot), tree_(procRoot), record_(record) {
    if (!record_) return;
    if (auto text = record_->load()) {
        restored_ = memory_.restore(*text, [this](pid_t pid) -> std::optional<std::uint64_t> {
            auto stat = tree_.stat(pid);
            return stat ? std::optional(stat->startTime) : std::nullopt;
        });
        saved_ = std::move(*text);
    }
}

TaskPolicyResult InProcessTaskPolicy::apply(std::int32_t pid) { return std::move(run(true, {pid}).front()); }

TaskPolicyResult InProcessTaskPolicy::release(std::int32_t pid) { return std::move(run(false, {pid}).front()); }

std::vector<TaskPolicyResult> InProcessTaskPolicy::applyEach(const std::vector<std::int32_t>& pids) {
    return run(true, pids);
}

std::vector<TaskPolicyResult> InProcessTaskPolicy::releaseEach(const std::vector<std::int32_t>& pids) {
    return run(false, pids);
}

std::vector<TaskPolicyResult> InProcessTaskPolicy::run(bool background, const std::vector<std::int32_t>& pids) {
    std::lock_guard lock(mutex_);
    std::optional<ProcessFamily> family;
    if (pids.size() >= kSharedFamilyFrom) family = policy_.family();
    const ProcessFamily* shared = family ? &*family : nullptr;
    std::vector<TaskPolicyResult> results;
    results.reserve(pids.size());
    for (std::int32_t pid : pids) {
        auto done = background ? policy_.apply(pid, &memory_, shared) : policy_.release(pid, &memory_, shared);
        if (done) {
            results.push_back(TaskPolicyChange{done->processes, done->threads});
        } else {
            results.push_back(unexpected(taskPolicyFailureFor(pid, done.error())));
        }
    }
    if (record_) {
        // Written before the reply leaves, so whatever a client was told has
        // happened is on record should the helper die the next moment.
        std::string text = memory_.serialize();
        if (text != saved_ && record_->save(text)) saved_ = std::move(text);
    }
    return results;
}

}  // namespace korvane::linux_platform
