#include "platform/linux/sched/in_process_task_policy.h"

#include <signal.h>

#include <cerrno>
#include <optional>

#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/sched/taskpolicy_command.h"

namespace korvane::linux_platform {

InProcessTaskPolicy::InProcessTaskPolicy(const std::string& sysfsRoot, std::string procRoot, StateFile* record)
    : InProcessTaskPolicy(readCpuTopology(sysfsRoot), std::move(procRoot), record) {}

InProcessTaskPolicy::InProcessTaskPolicy(CpuTopology topology, std::string procRoot, StateFile* record)
    : policy_(std::move(topology), procRoot), tree_(procRoot), record_(record) {
    if (!record_) return;
    if (auto text = record_->load()) {
        restored_ = memory_.restore(*text, [this](pid_t pid) -> std::optional<std::uint64_t> {
            auto stat = tree_.stat(pid);
            return stat ? std::optional(stat->startTime) : std::nullopt;
        });
        saved_ = std::move(*text);
    }
}

TaskPolicyResult InProcessTaskPolicy::apply(std::int32_t pid) {
    return std::move(run(true, {pid}, nullptr).front());
}

TaskPolicyResult InProcessTaskPolicy::release(std::int32_t pid) {
    return std::move(run(false, {pid}, nullptr).front());
}

std::vector<TaskPolicyResult> InProcessTaskPolicy::applyEach(const std::vector<std::int32_t>& pids,
                                                             const ProcessFamily* family) {
    return run(true, pids, family);
}

std::vector<TaskPolicyResult> InProcessTaskPolicy::releaseEach(const std::vector<std::int32_t>& pids,
                                                               const ProcessFamily* family) {
    return run(false, pids, family);
}

std::optional<FamilyReading> InProcessTaskPolicy::familyFor(const std::vector<std::int32_t>& pids,
                                                            const ProcessFamily* handed) {
    if (handed) return FamilyReading{*handed, std::nullopt};
    if (pids.size() < kSharedFamilyFrom) return std::nullopt;
    // Pids no process has cost nothing to try; only a batch with enough
    // living processes is worth a reading of the whole table.
    std::size_t living = 0;
    for (std::int32_t pid : pids) living += pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM) ? 1 : 0;
    if (living < kSharedFamilyFrom) return std::nullopt;
    // Read before the table, so that a process born while it is read makes
    // the next batch read it again.
    auto now = policy_.generationNow();
    if (!family_ || !now || now != familyGeneration_) {
        family_ = policy_.family();
        familyGeneration_ = now;
    }
    return FamilyReading{*family_, familyGeneration_};
}

void InProcessTaskPolicy::saveRecord() {
    std::string text = memory_.serialize();
    if (text != saved_ && record_->save(text)) saved_ = std::move(text);
}

std::vector<TaskPolicyResult> InProcessTaskPolicy::run(bool background, const std::vector<std::int32_t>& pids,
                                                       const ProcessFamily* handed) {
    std::lock_guard lock(mutex_);
    auto family = familyFor(pids, handed);
    const FamilyReading* shared = family ? &*family : nullptr;
    if (background && record_) {
        // What every thread of the batch has is on record before the first
        // change, so a helper killed at any moment of the batch leaves no
        // change off the record.
        for (std::int32_t pid : pids) (void)policy_.note(pid, memory_, shared);
        saveRecord();
    }
    std::vector<TaskPolicyResult> results;
    results.reserve(pids.size());
    for (std::int32_t pid : pids) {
        auto done = background ? policy_.apply(pid, &memory_, shared) : policy_.release(pid, &memory_, shared);
        if (done) {
            results.push_back(TaskPolicyChange{done->processes, done->threads, done->startTime});
        } else {
            results.push_back(unexpected(taskPolicyFailureFor(pid, done.error())));
        }
    }
    if (record_) {
        // Processes noted but not changed (refused, gone) have nothing to
        // give back. Threads born during the batch are added. Written before
        // the reply leaves.
        memory_.forgetNoted();
        saveRecord();
    }
    return results;
}

}  // namespace korvane::linux_platform
