// The throttle engine of HelperTool: runs the taskpolicy tool on processes and
// keeps the set of those it has given the background policy.
#include <unistd.h>

#include <charconv>
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
        // The rest could not be sent anyway.
        if (joined.size() > kMaxReplyTextBytes) break;
    }
    return cappedReplyText(std::move(joined));
}

// Processes no request may change: init, whose cgroup holds the helper on
// many systems, and the helper itself.
std::optional<std::string> refusal(std::int32_t pid) {
    if (pid == 1) return "PID 1 is the init process; the helper never changes its scheduling";
    if (pid == static_cast<std::int32_t>(::getpid())) {
        return "PID " + pidText(pid) + " is the helper itself; the helper never changes its scheduling";
    }
    return std::nullopt;
}

}  // namespace

void HelperTool::runTaskPolicy(bool background, std::int32_t pid, const Completion& completion) {
    if (auto refused = refusal(pid)) {
        log::write("KorvaneHelper: " + *refused);
        completion(false, *refused);
        return;
    }
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

void HelperTool::noteThrottledLocked(std::int32_t pid) {
    auto started = deps_.startTimeOf(pid);
    // Gone already: nothing of it is left to release.
    if (!started) return;
    auto [entry, added] = throttledPIDs_.insert_or_assign(pid, *started);
    (void)entry;
    (void)added;
    saveThrottledLocked();
}

void HelperTool::noteReleasedLocked(std::int32_t pid) {
    if (throttledPIDs_.erase(pid) != 0) saveThrottledLocked();
}

bool HelperTool::stillNamesLocked(std::int32_t pid) const {
    auto entry = throttledPIDs_.find(pid);
    return entry != throttledPIDs_.end() && deps_.startTimeOf(pid) == std::optional(entry->second);
}

void HelperTool::saveThrottledLocked() {
    if (!deps_.throttledRecord) return;
    std::string text;
    for (const auto& [pid, started] : throttledPIDs_) text += pidText(pid) + " " + std::to_string(started) + "\n";
    deps_.throttledRecord->save(text);
}

void HelperTool::loadThrottled() {
    if (!deps_.throttledRecord) return;
    auto text = deps_.throttledRecord->load();
    if (!text) return;
    std::lock_guard lock(pidsQueue_);
    std::size_t recorded = 0;
    std::string_view rest = *text;
    while (!rest.empty()) {
        auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        std::int32_t pid = 0;
        std::uint64_t started = 0;
        auto [afterPid, pidError] = std::from_chars(line.data(), line.data() + line.size(), pid);
        if (pidError != std::errc() || afterPid == line.data() + line.size() || *afterPid != ' ') continue;
        auto [afterStart, startError] = std::from_chars(afterPid + 1, line.data() + line.size(), started);
        if (startError != std::errc() || afterStart != line.data() + line.size()) continue;
        ++recorded;
        // A process that ended, or whose pid another has now, is not ours to release.
        if (deps_.startTimeOf(pid) == std::optional(started)) throttledPIDs_.emplace(pid, started);
    }
    if (recorded > 0) {
        log::write("KorvaneHelper: Took over " + std::to_string(throttledPIDs_.size()) +
                   " throttled processes from an earlier run (" + std::to_string(recorded - throttledPIDs_.size()) +
                   " gone since)");
    }
}

void HelperTool::throttleProcess(std::int32_t pid, ReplyBlock reply) {
    runTaskPolicy(true, pid, [&](bool success, std::optional<std::string> message) {
        if (success) {
            std::lock_guard lock(pidsQueue_);
            noteThrottledLocked(pid);
        }
        reply(success, std::move(message));
    });
}

void HelperTool::unthrottleProcess(std::int32_t pid, ReplyBlock reply) {
    {
        std::lock_guard lock(pidsQueue_);
        if (throttledPIDs_.contains(pid) && !stillNamesLocked(pid) && deps_.startTimeOf(pid)) {
            // The process we throttled is gone and a stranger has its pid:
            // whatever policy the stranger has is its own.
            noteReleasedLocked(pid);
            reply(true, std::nullopt);
            return;
        }
    }
    runTaskPolicy(false, pid, [&](bool success, std::optional<std::string> message) {
        if (success) {
            std::lock_guard lock(pidsQueue_);
            noteReleasedLocked(pid);
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
                if (background) noteThrottledLocked(pid);
                else noteReleasedLocked(pid);
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
        // Entries whose process is gone or replaced have nothing to release.
        std::erase_if(throttledPIDs_, [this](const auto& entry) {
            return deps_.startTimeOf(entry.first) != std::optional(entry.second);
        });
        for (const auto& [pid, started] : throttledPIDs_) copy.push_back(pid);
        saveThrottledLocked();
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
    std::set<std::int32_t> pids;
    for (const auto& [pid, started] : throttledPIDs_) pids.insert(pid);
    return pids;
}

}  // namespace korvane::helper
