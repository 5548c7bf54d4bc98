#pragma once
// The helper's process runner. A run of our own taskpolicy tool becomes a
// call into the library, with the exit status and output the tool would
// have given; a process start per pid was the whole delay of Beast Mode.
// Every other program goes to the wrapped runner.
#include <mutex>
#include <string>

#include "platform/linux/sched/background_policy.h"
#include "platform/linux/sched/remembered_states.h"
#include "shared/process/process_runner.h"
#include "shared/util/state_file.h"

namespace korvane::linux_platform {

class InProcessTaskPolicyRunner final : public ProcessRunner {
public:
    // `toolPath` is the path that means our tool (paths::kTaskPolicyTool in
    // the helper). The topology is read once, here. With `record`, what
    // threads had is kept there as it changes, and what a previous run left
    // there is taken over for processes still running: a helper killed and
    // started again still gives back exactly what it took.
    InProcessTaskPolicyRunner(ProcessRunner& others, std::string toolPath, const std::string& sysfsRoot,
                              std::string procRoot = "/proc", StateFile* record = nullptr);

    // How much of the record was taken over at construction.
    RememberedStates::Restored restored() const { return restored_; }

    Expected<ProcessResult, LaunchError> run(const std::string& path, const std::vector<std::string>& arguments,
                                             OutputCapture capture) override;

private:
    ProcessRunner& others_;
    std::string toolPath_;
    // Runs come from every connection and the jail monitor at once; one at a
    // time keeps a release from restoring half of what an apply records.
    std::mutex mutex_;
    BackgroundPolicy policy_;
    RememberedStates memory_;
    TaskTreeReader tree_;
    StateFile* record_;
    std::string saved_;  // what the record holds, so unchanged memory is not written again
    RememberedStates::Restored restored_;
};

}  // namespace korvane::linux_platform
