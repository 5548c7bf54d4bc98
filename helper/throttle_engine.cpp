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

ThrottleEngine::Outcome ThrottleEngine::run(bool background, std::int32_t pid) {
    if (auto refused = refusal(pid)) {
        log::write("KorvaneHelper: " + *refused);
        return {std::move(refused)};
    }
    std::vector<std::string> lines;
    auto done = outcome(background, pid, background ? deps_.taskPolicy.apply(pid) : deps_.taskPolicy.release(pid),
                        lines);
    log::writeLines(lines);
    return done;
}

ThrottleEngine::Outcome ThrottleEngine::outcome(bool background, std::int32_t pid, const TaskPolicyResult& done,
                                                std::vector<std::string>& lines) {
    if (!done) {
        std::string message = taskPolicyFailureText(pid, done.error());
        lines.push_back("KorvaneHelper: " + message);
        return {std::move(message)};
    }
    lines.push_back("KorvaneHelper: PID " + pidText(pid) +
                    (background ? " successfully throttled" : " successfully unthrottled"));
    return {std::nullopt, done->startTime};
}

std::vector<ThrottleEngine::Outcome> ThrottleEngine::runEach(bool background, const std::vector<std::int32_t>& pids,
                                                             const Announcement& announcement,
                                                             const ProcessFamily* family) {
    std::vector<Outcome> outcomes(pids.size());
    std::vector<std::int32_t> allowed;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        outcomes[i].failure = refusal(pids[i]);
        if (!outcomes[i].failure) allowed.push_back(pids[i]);
    }
    auto results = allowed.empty() ? std::vector<TaskPolicyResult>()
                   : background   ? deps_.taskPolicy.applyEach(allowed, family)
                                  : deps_.taskPolicy.releaseEach(allowed, family);
    // The lines in the order of the request, one write for all.
    std::vector<std::string> lines;
    lines.reserve(pids.size());
    for (std::size_t i = 0, next = 0; i < pids.size(); ++i) {
        if (announcement) lines.push_back(announcement(pids[i]));
        if (outcomes[i].failure) {
            lines.push_back("KorvaneHelper: " + *outcomes[i].failure);
        } else if (next < results.size()) {
            outcomes[i] = outcome(background, pids[i], results[next++], lines);
        }
    }
    log::writeLines(lines);
    return outcomes;
}

void ThrottleEngine::noteThrottledLocked(std::int32_t pid, std::uint64_t startTime, bool save) {
    auto started = startTime != 0 ? std::optional(startTime) : deps_.startTimeOf(pid);
    // Gone already: nothing of it is left to release.
    if (!started) return;
    throttledPIDs_.insert_or_assign(pid, *started);
    if (save) saveLocked();
}

void ThrottleEngine::noteReleasedLocked(std::int32_t pid, bool save) {
    if (throttledPIDs_.erase(pid) != 0 && save) saveLocked();
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
    auto done = run(true, pid);
    if (!done.failure) {
        std::lock_guard lock(pidsQueue_);
        noteThrottledLocked(pid, done.startTime);
    }
    reply(!done.failure, std::move(done.failure));
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
    auto failure = run(false, pid).failure;
    if (!failure) {
        std::lock_guard lock(pidsQueue_);
        noteReleasedLocked(pid);
    }
    reply(!failure, std::move(failure));
}

bool ThrottleEngine::releaseAndRecord(std::int32_t pid) {
    if (run(false, pid).failure) return false;
    std::lock_guard lock(pidsQueue_);
    noteReleasedLocked(pid);
    return true;
}

void ThrottleEngine::recordLocked(bool background, const std::vector<std::int32_t>& pids,
                                  const std::vector<Outcome>& outcomes) {
    bool changed = false;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        if (outcomes[i].failure) continue;
        std::size_t before = throttledPIDs_.size();
        if (background) noteThrottledLocked(pids[i], outcomes[i].startTime, false);
        else noteReleasedLocked(pids[i], false);
        changed = changed || background || throttledPIDs_.size() != before;
    }
    if (changed) saveLocked();
}

void ThrottleEngine::applyEachAndRecord(const std::vector<std::int32_t>& pids, const ProcessFamily* family) {
    auto outcomes = runEach(true, pids, {}, family);
    std::lock_guard lock(pidsQueue_);
    recordLocked(true, pids, outcomes);
}

void ThrottleEngine::applyEachUnlessHeld(const std::vector<std::int32_t>& pids, const Announcement& announcement,
                                         const ProcessFamily* family) {
    // Test and change under one hold of the lock, the policy's work
    // included, so two scans never throttle one process twice. A pid on
    // record for a process that has ended names a stranger now, one that
    // may well be jailed too.
    std::lock_guard lock(pidsQueue_);
    std::vector<std::int32_t> wanted;
    for (std::int32_t pid : pids) {
        if (!stillNamesLocked(pid)) wanted.push_back(pid);
    }
    if (wanted.empty()) return;
    recordLocked(true, wanted, runEach(true, wanted, announcement, family));
}

void ThrottleEngine::runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply) {
    auto outcomes = runEach(background, pids, {});
    {
        std::lock_guard lock(pidsQueue_);
        recordLocked(background, pids, outcomes);
    }
    auto aggregate = std::make_shared<Aggregate>();
    for (std::size_t i = 0; i < pids.size(); ++i) {
        if (!outcomes[i].failure) continue;
        aggregate->allSucceeded = false;
        aggregate->errors.push_back("PID " + pidText(pids[i]) + ": " + *outcomes[i].failure);
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
