#pragma once
// The helper's background policy, done in its own process: a process start
// per pid was the whole delay of Beast Mode. Failures are those the
// taskpolicy tool would report, status and line alike.
#include <mutex>
#include <string>

#include "platform/linux/sched/background_policy.h"
#include "platform/linux/sched/remembered_states.h"
#include "shared/process/task_policy.h"
#include "shared/util/state_file.h"

namespace korvane::linux_platform {

class InProcessTaskPolicy final : public TaskPolicy {
public:
    // The topology is read once, here. With `record`, what threads had is
    // kept there as it changes, and what a previous run left there is taken
    // over for processes still running: a helper killed and started again
    // still gives back exactly what it took.
    explicit InProcessTaskPolicy(const std::string& sysfsRoot, std::string procRoot = "/proc",
                                 StateFile* record = nullptr);
    // With the topology read already, by a caller that also reports it.
    InProcessTaskPolicy(CpuTopology topology, std::string procRoot, StateFile* record);

    // How much of the record was taken over at construction.
    RememberedStates::Restored restored() const { return restored_; }
    const CpuTopology& topology() const { return policy_.topology(); }

    TaskPolicyResult apply(std::int32_t pid) override;
    TaskPolicyResult release(std::int32_t pid) override;
    // A batch of this many pids or more finds descendants in one reading of
    // the process table instead of each thread's children.
    static constexpr std::size_t kSharedFamilyFrom = 4;
    std::vector<TaskPolicyResult> applyEach(const std::vector<std::int32_t>& pids,
                                            const ProcessFamily* family = nullptr) override;
    std::vector<TaskPolicyResult> releaseEach(const std::vector<std::int32_t>& pids,
                                              const ProcessFamily* family = nullptr) override;

private:
    std::vector<TaskPolicyResult> run(bool background, const std::vector<std::int32_t>& pids,
                                      const ProcessFamily* handed);
    // The batch's reading of the table: the caller's, else the last one
    // read here while no process has been born since, else a new one.
    std::optional<FamilyReading> familyFor(const std::vector<std::int32_t>& pids, const ProcessFamily* handed);
    void saveRecord();

    // Calls come from every connection and the jail monitor at once; one at
    // a time keeps a release from restoring half of what an apply records.
    std::mutex mutex_;
    BackgroundPolicy policy_;
    RememberedStates memory_;
    TaskTreeReader tree_;
    StateFile* record_;
    std::string saved_;  // what the record holds, so unchanged memory is not written again
    RememberedStates::Restored restored_;
    std::optional<ProcessFamily> family_;
    std::optional<std::int32_t> familyGeneration_;
};

}  // namespace korvane::linux_platform
