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

namespace korvane::linux_platform {

class InProcessTaskPolicyRunner final : public ProcessRunner {
public:
    // `toolPath` is the path that means our tool (paths::kTaskPolicyTool in
    // the helper). The topology is read once, here.
    InProcessTaskPolicyRunner(ProcessRunner& others, std::string toolPath, const std::string& sysfsRoot,
                              std::string procRoot = "/proc");

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
};

}  // namespace korvane::linux_platform
