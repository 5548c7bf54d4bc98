#pragma once
// Giving one process the background policy and taking it away again, as the
// helper's throttle engine asks for it. The helper normally does the work in
// its own process; tests (and a taskpolicy named by KORVANE_TASKPOLICY) run
// the tool instead. Either way the answer is one of these values, and the
// reply texts are made from it in one place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/process/process_entry.h"
#include "shared/util/expected.h"

namespace korvane {

// The taskpolicy tool's exit statuses; a failure carries the status the tool
// gives (or would give) for it, since replies quote it.
namespace taskpolicy_exit {
inline constexpr int kSuccess = 0;
inline constexpr int kFailed = 1;  // a kernel thread, or an unexpected system error
inline constexpr int kNoSuchProcess = 3;
inline constexpr int kUsage = 64;
inline constexpr int kPermissionDenied = 77;
}  // namespace taskpolicy_exit

// What one successful apply or release walked: the process and its
// descendants in its cgroup, and their threads. Zero when not known (a tool
// run tells only that it succeeded).
struct TaskPolicyChange {
    int processes = 0;
    int threads = 0;
    // When the process started, as the policy read it on the way (0 when it
    // did not), so that the caller need not read it again.
    std::uint64_t startTime = 0;
};

enum class TaskPolicyFailureKind {
    NoSuchProcess,
    PermissionDenied,
    KernelThread,
    Other,         // any other refusal or system error
    NotLaunched,   // the tool could not be started at all
};

struct TaskPolicyFailure {
    TaskPolicyFailureKind kind = TaskPolicyFailureKind::Other;
    // The tool's exit status for this failure; unused for NotLaunched.
    int exitStatus = taskpolicy_exit::kFailed;
    // The tool's one line (trimmed), or why it could not be launched.
    std::string detail;
};

using TaskPolicyResult = Expected<TaskPolicyChange, TaskPolicyFailure>;

class TaskPolicy {
public:
    virtual ~TaskPolicy() = default;
    // How many pids a caller hands over at most in one batch call. Between
    // batches a caller lets others in and looks for a stop, so a batch
    // should take a few milliseconds at most.
    virtual std::size_t batchSize() const { return 64; }
    // All may be called from several threads at once.
    virtual TaskPolicyResult apply(std::int32_t pid) = 0;
    virtual TaskPolicyResult release(std::int32_t pid) = 0;
    // Each pid in order, with one result each, as apply or release would
    // give; an implementation may share work among the pids of a batch.
    // `family` is a reading of the table the caller has just taken, for an
    // implementation that looks for descendants to spare reading its own.
    virtual std::vector<TaskPolicyResult> applyEach(const std::vector<std::int32_t>& pids,
                                                    const ProcessFamily* family = nullptr) {
        (void)family;
        return eachOf(pids, &TaskPolicy::apply);
    }
    virtual std::vector<TaskPolicyResult> releaseEach(const std::vector<std::int32_t>& pids,
                                                      const ProcessFamily* family = nullptr) {
        (void)family;
        return eachOf(pids, &TaskPolicy::release);
    }

private:
    std::vector<TaskPolicyResult> eachOf(const std::vector<std::int32_t>& pids,
                                         TaskPolicyResult (TaskPolicy::*one)(std::int32_t)) {
        std::vector<TaskPolicyResult> results;
        results.reserve(pids.size());
        for (std::int32_t pid : pids) results.push_back((this->*one)(pid));
        return results;
    }
};

// The status a kind of failure gives, and the kind a status means.
inline int exitStatusFor(TaskPolicyFailureKind kind) {
    switch (kind) {
        case TaskPolicyFailureKind::NoSuchProcess:
            return taskpolicy_exit::kNoSuchProcess;
        case TaskPolicyFailureKind::PermissionDenied:
            return taskpolicy_exit::kPermissionDenied;
        case TaskPolicyFailureKind::KernelThread:
        case TaskPolicyFailureKind::Other:
        case TaskPolicyFailureKind::NotLaunched:
            break;
    }
    return taskpolicy_exit::kFailed;
}

inline TaskPolicyFailureKind failureKindFor(int exitStatus) {
    switch (exitStatus) {
        case taskpolicy_exit::kNoSuchProcess:
            return TaskPolicyFailureKind::NoSuchProcess;
        case taskpolicy_exit::kPermissionDenied:
            return TaskPolicyFailureKind::PermissionDenied;
        default:
            return TaskPolicyFailureKind::Other;
    }
}

}  // namespace korvane
