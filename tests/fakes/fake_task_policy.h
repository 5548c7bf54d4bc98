#pragma once
// A TaskPolicy that records every call and answers from a script: success
// by default; chosen pids fail with a given failure.
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <vector>

#include "shared/process/task_policy.h"

namespace korvane::testing {

struct PolicyCall {
    bool apply;  // false: release
    std::int32_t pid;
    bool operator==(const PolicyCall&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const PolicyCall& call) {
        return out << (call.apply ? "apply " : "release ") << call.pid;
    }
};
inline PolicyCall applied(std::int32_t pid) { return {true, pid}; }
inline PolicyCall released(std::int32_t pid) { return {false, pid}; }

class FakeTaskPolicy final : public TaskPolicy {
public:
    std::size_t batchSize() const override { return batch; }
    TaskPolicyResult apply(std::int32_t pid) override { return answer({true, pid}); }
    TaskPolicyResult release(std::int32_t pid) override { return answer({false, pid}); }

    void failFor(std::int32_t pid, TaskPolicyFailure failure) {
        std::lock_guard lock(mutex_);
        failures_[pid] = std::move(failure);
    }
    // The tool's way of failing: a status and a line.
    void failFor(std::int32_t pid, int exitStatus, std::string detail) {
        failFor(pid, TaskPolicyFailure{failureKindFor(exitStatus), exitStatus, std::move(detail)});
    }
    void succeedFor(std::int32_t pid) {
        std::lock_guard lock(mutex_);
        failures_.erase(pid);
    }

    std::vector<PolicyCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    // Called with the pid as each call begins, outside the lock, so that a
    // test can make calls take a while or hold one; set it before any call.
    std::function<void(std::int32_t pid)> beforeCall;
    std::size_t batch = 64;

private:
    TaskPolicyResult answer(PolicyCall call) {
        if (beforeCall) beforeCall(call.pid);
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        if (auto it = failures_.find(call.pid); it != failures_.end()) return unexpected(TaskPolicyFailure(it->second));
        return TaskPolicyChange{1, 1};
    }

    mutable std::mutex mutex_;
    std::vector<PolicyCall> calls_;
    std::map<std::int32_t, TaskPolicyFailure> failures_;
};

}  // namespace korvane::testing
