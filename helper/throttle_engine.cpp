#include "helper/throttle_engine.h"

#include <unistd.h>

#include <charconv>
#include <memory>

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

ThrottleEngine::ThrottleEngine(ThrottleEngineDependencies deps) : deps_(std::move(deps)) { load(); }

std::optional<std::string> ThrottleEngine::run(bool background, std::int32_t pid) {
    if (auto refused = refusal(pid)) {
        log::write("KorvaneHelper: " + *refused);
        return refused;
    }
    auto done = background ? deps_.taskPolicy.apply(pid) : deps_.taskPolicy.release(pid);
    if (!done) {
        std::string message = taskPolicyFailureText(pid, done.error());
        log::write("KorvaneHelper: " + message);
        return message;
    }
    log::write("KorvaneHelper: PID " + pidText(pid) +
               (background ? " successfully throttled" : " successfully unthrottled"));
    return std::nullopt;
}

void ThrottleEngine::noteThrottledLocked(std::int32_t pid) {
    auto started = deps_.startTimeOf(pid);
    // Gone already: nothing of it is left to release.
    if (!started) return;
    auto [entry, added] = throttledPIDs_.insert_or_assign(pid, *started);
    (void)entry;
    (void)added;
    saveLocked();
}

void ThrottleEngine::noteReleasedLocked(std::int32_t pid) {
    if (throttledPIDs_.erase(pid) != 0) saveLocked();
}

bool ThrottleEngine::stillNamesLocked(std::int32_t pid) const {
    auto entry = throttledPIDs_.find(pid);
    return entry != throttledPIDs_.end() && deps_.startTimeOf(pid) == std::optional(entry->second);
}

void ThrottleEngine::saveLocked() {
    if (!deps_.record) return;
    std::string text;
    for (const auto& [pid, started] : throttledPIDs_) text += pidText(pid) + " " + std::to_string(started) + "\n";
    deps_.record->save(text);
}

void ThrottleEngine::load() {
    if (!deps_.record) return;
    auto text = deps_.record->load();
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

void ThrottleEngine::throttle(std::int32_t pid, const ReplyBlock& reply) {
    auto failure = run(true, pid);
    if (!failure) {
        std::lock_guard lock(pidsQueue_);
        noteThrottledLocked(pid);
    }
    reply(!failure, std::move(failure));
}

void ThrottleEngine::unthrottle(std::int32_t pid, const ReplyBlock& reply) {
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
    auto failure = run(false, pid);
    if (!failure) {
        std::lock_guard lock(pidsQueue_);
        noteReleasedLocked(pid);
    }
    reply(!failure, std::move(failure));
}

bool ThrottleEngine::applyAndRecord(std::int32_t pid) {
    if (run(true, pid)) return false;
    std::lock_guard lock(pidsQueue_);
    noteThrottledLocked(pid);
    return true;
}

bool ThrottleEngine::releaseAndRecord(std::int32_t pid) {
    if (run(false, pid)) return false;
    std::lock_guard lock(pidsQueue_);
    noteReleasedLocked(pid);
    return true;
}

void ThrottleEngine::applyUnlessHeld(std::int32_t pid, const std::function<void()>& announce) {
    std::lock_guard lock(pidsQueue_);
    // A pid on record for a process that has ended names a stranger now,
    // one that may well be jailed too.
    if (stillNamesLocked(pid)) return;
    announce();
    if (!run(true, pid)) noteThrottledLocked(pid);
}

void ThrottleEngine::runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply) {
    auto aggregate = std::make_shared<Aggregate>();
    for (std::int32_t pid : pids) {
        auto failure = run(background, pid);
        if (!failure) {
            std::lock_guard lock(pidsQueue_);
            if (background) noteThrottledLocked(pid);
            else noteReleasedLocked(pid);
            continue;
        }
        std::lock_guard lock(aggregate->errorQueue);
        aggregate->allSucceeded = false;
        aggregate->errors.push_back("PID " + pidText(pid) + ": " + *failure);
    }
    deps_.mainLoop.post([aggregate, reply = std::move(reply)] {
        std::lock_guard lock(aggregate->errorQueue);
        reply(aggregate->allSucceeded, joinedErrors(aggregate->errors));
    });
}

void ThrottleEngine::throttleMultiple(const std::vector<std::int32_t>& pids, ReplyBlock reply) {
    runForEach(true, pids, std::move(reply));
}

void ThrottleEngine::unthrottleAll(ReplyBlock reply) {
    std::vector<std::int32_t> copy;
    {
        std::lock_guard lock(pidsQueue_);
        // Entries whose process is gone or replaced have nothing to release.
        dropEndedLocked();
        for (const auto& [pid, started] : throttledPIDs_) copy.push_back(pid);
        saveLocked();
    }
    if (copy.empty()) {
        reply(true, std::nullopt);
        return;
    }
    runForEach(false, copy, std::move(reply));
}

std::size_t ThrottleEngine::dropEndedLocked() {
    // Gone, or the pid now names a later process: either way not ours.
    return std::erase_if(throttledPIDs_, [this](const auto& entry) {
        return deps_.startTimeOf(entry.first) != std::optional(entry.second);
    });
}

void ThrottleEngine::cleanupDeadPIDs() {
    std::lock_guard lock(pidsQueue_);
    std::size_t dropped = dropEndedLocked();
    if (dropped > 0) {
        saveLocked();
        log::write("KorvaneHelper: cleanupDeadPIDs — " + std::to_string(dropped) + " ölü PID temizlendi (kalan: " +
                   std::to_string(throttledPIDs_.size()) + ")");
    }
}

std::set<std::int32_t> ThrottleEngine::snapshot() const {
    std::lock_guard lock(pidsQueue_);
    std::set<std::int32_t> pids;
    for (const auto& [pid, started] : throttledPIDs_) pids.insert(pid);
    return pids;
}

}  // namespace korvane::helper
