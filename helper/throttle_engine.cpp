// The throttle engine of HelperTool: runs the taskpolicy tool on processes and
// keeps the set of those it has given the background policy.
#include <memory>

#include "helper/helper_tool.h"
#include "helper/reply_text.h"
#include "shared/log/log.h"

namespace korvane::helper {
namespace {

std::string pidText(std::int32_t pid) { return std::to_string(pid); }

// Collects the outcome of a multi-process call. Runs happen one after another
// on the delivering thread; the mutex keeps the collected state safe to read
// from the main loop, where the single reply is sent.
struct Aggregate {
    std::mutex errorQueue;  // "com.korvane.helper.errors"
    bool allSucceeded = true;
    std::vector<std::string> errors;
};

std::optional<std::string> joinedErrors(const std::vector<std::string>& errors) {
    if (errors.empty()) return std::nullopt;
    std::string joined;
    for (const auto& e : errors) {
        if (!joined.empty()) joined += "; ";
        joined += e;
    }
    return joined;
}

}  // namespace

void HelperTool::runTaskPolicy(bool background, std::int32_t pid, const Completion& completion) {
    auto result = deps_.runner.run(deps_.taskPolicyPath, {background ? "-b" : "-B", "-p", pidText(pid)},
                                   OutputCapture::Combined);
    if (!result) {
        std::string message = "Failed to launch taskpolicy for PID " + pidText(pid) + ": " + result.error().reason;
        log::write("KorvaneHelper: " + message);
        completion(false, message);
        return;
    }
    std::string output = trimmedToolOutput(result->output);
    if (result->exitStatus == 0) {
        log::write("KorvaneHelper: PID " + pidText(pid) +
                   (background ? " successfully throttled" : " successfully unthrottled"));
        completion(true, std::nullopt);
        return;
    }
    std::string message = "taskpolicy failed for PID " + pidText(pid) + " with exit code " +
                          std::to_string(result->exitStatus) + ": " + output;
    log::write("KorvaneHelper: " + message);
    completion(false, message);
}

void HelperTool::throttleProcess(std::int32_t pid, ReplyBlock reply) {
    runTaskPolicy(true, pid, [&](bool success, std::optional<std::string> message) {
        if (success) {
            std::lock_guard lock(pidsQueue_);
            throttledPIDs_.insert(pid);
        }
        reply(success, std::move(message));
    });
}

void HelperTool::unthrottleProcess(std::int32_t pid, ReplyBlock reply) {
    runTaskPolicy(false, pid, [&](bool success, std::optional<std::string> message) {
        if (success) {
            std::lock_guard lock(pidsQueue_);
            throttledPIDs_.erase(pid);
        }
        reply(success, std::move(message));
    });
}

void HelperTool::runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply) {
    auto aggregate = std::make_shared<Aggregate>();
    for (std::int32_t pid : pids) {
        runTaskPolicy(background, pid, [&](bool success, std::optional<std::string> message) {
            if (success) {
                std::lock_guard lock(pidsQueue_);
                if (background) throttledPIDs_.insert(pid);
                else throttledPIDs_.erase(pid);
                return;
            }
            std::lock_guard lock(aggregate->errorQueue);
            aggregate->allSucceeded = false;
            aggregate->errors.push_back("PID " + pidText(pid) + ": " + message.value_or(""));
        });
    }
    deps_.mainLoop.post([aggregate, reply = std::move(reply)] {
        std::lock_guard lock(aggregate->errorQueue);
        reply(aggregate->allSucceeded, joinedErrors(aggregate->errors));
    });
}

void HelperTool::throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock reply) {
    runForEach(true, pids, std::move(reply));
}

void HelperTool::unthrottleAllProcesses(ReplyBlock reply) {
    std::vector<std::int32_t> copy;
    {
        std::lock_guard lock(pidsQueue_);
        copy.assign(throttledPIDs_.begin(), throttledPIDs_.end());
    }
    if (copy.empty()) {
        reply(true, std::nullopt);
        return;
    }
    runForEach(false, copy, std::move(reply));
}

void HelperTool::ping(PingReplyBlock reply) { reply(true); }

std::set<std::int32_t> HelperTool::throttledPIDsSnapshot() const {
    std::lock_guard lock(pidsQueue_);
    return throttledPIDs_;
}

}  // namespace korvane::helper
