#pragma once
// The background policy by running the taskpolicy tool once per call, as the
// helper does when KORVANE_TASKPOLICY names a stand-in. The tool's exit
// status and its trimmed output become the typed failure.
#include <string>

#include "shared/process/process_runner.h"
#include "shared/process/task_policy.h"

namespace korvane::helper {

class SpawningTaskPolicy final : public TaskPolicy {
public:
    SpawningTaskPolicy(ProcessRunner& runner, std::string toolPath)
        : runner_(runner), toolPath_(std::move(toolPath)) {}

    TaskPolicyResult apply(std::int32_t pid) override { return run("-b", pid); }
    TaskPolicyResult release(std::int32_t pid) override { return run("-B", pid); }

    // A run of the tool takes a process start, and a stand-in may take
    // seconds: one pid at a time.
    std::size_t batchSize() const override { return 1; }

    const std::string& toolPath() const { return toolPath_; }

private:
    TaskPolicyResult run(const char* action, std::int32_t pid);

    ProcessRunner& runner_;
    std::string toolPath_;
};

}  // namespace korvane::helper
