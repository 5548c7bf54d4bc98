#include "helper/spawning_task_policy.h"

#include "helper/reply_text.h"

namespace korvane::helper {

TaskPolicyResult SpawningTaskPolicy::run(const char* action, std::int32_t pid) {
    auto result = runner_.run(toolPath_, {action, "-p", std::to_string(pid)}, OutputCapture::Combined);
    if (!result) return unexpected(TaskPolicyFailure{TaskPolicyFailureKind::NotLaunched, 0, result.error().reason});
    if (result->exitStatus == taskpolicy_exit::kSuccess) return TaskPolicyChange{};
    return unexpected(TaskPolicyFailure{failureKindFor(result->exitStatus), result->exitStatus,
                                        trimmedToolOutput(result->output)});
}

}  // namespace korvane::helper
