#include "helper/throttle_engine.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <unordered_set>

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
                                                             const ProcessFamily* family, bool unlessHeld) {
    std::vector<Outcome> outcomes(pids.size());
    const std::size_t batchSize = std::max<std::size_t>(1, deps_.taskPolicy.batchSize());
    for (std::size_t from = 0; from < pids.size(); from += batchSize) {
        std::lock_guard turn(work_);
        if (stopping_) {
            for (std::size_t i = from; i < pids.size(); ++i) outcomes[i].failure = kStoppingText;
            log::write("KorvaneHelper: Left " + std::to_string(pids.size() - from) + " of " +
                       std::to_string(pids.size()) + " PIDs undone — " + kStoppingText);
            break;
        }
        std::size_t to = std::min(pids.size(), from + batchSize);
        std::vector<std::int32_t> batch(pids.begin() + static_cast<std::ptrdiff_t>(from),
                                        pids.begin() + static_cast<std::ptrdiff_t>(to));
        std::vector<Outcome> done(batch.size());
        runBatch(background, batch, done, announcement, family, unlessHeld);
        std::move(done.begin(), done.end(), outcomes.begin() + static_cast<std::ptrdiff_t>(from));
    }
    return outcomes;
}

void ThrottleEngine::runBatch(bool background, const std::vector<std::int32_t>& pids, std::vector<Outcome>& outcomes,
                              const Announcement& announcement, const ProcessFamily* family, bool unlessHeld) {
    std::vector<std::int32_t> allowed;
    std::vector<bool> held(pids.size(), false);
    // Processes written down ahead of the change; taken off again if it fails.
    std::set<std::int32_t> ahead;
    {
        std::lock_guard lock(pidsQueue_);
        for (std::size_t i = 0; i < pids.size(); ++i) {
            outcomes[i].failure = refusal(pids[i]);
            if (outcomes[i].failure) continue;
            // A pid on record for a process that has ended names a
            // stranger now, one that may well be jailed too.
            if (unlessHeld && stillNamesLocked(pids[i])) {
                held[i] = true;
                continue;
            }
            allowed.push_back(pids[i]);
            if (!background || (throttledPIDs_.contains(pids[i]) && stillNamesLocked(pids[i]))) continue;
            auto started = family ? family->startTimeOf(pids[i]) : std::nullopt;
            if (!started) started = deps_.startTimeOf(pids[i]);
            // Gone already: the policy will say so.
            if (!started) continue;
            throttledPIDs_.insert_or_assign(pids[i], *started);
            ahead.insert(pids[i]);
        }
        if (!ahead.empty()) saveLocked();
    }
    auto results = allowed.empty() ? std::vector<TaskPolicyResult>()
                   : background   ? deps_.taskPolicy.applyEach(allowed, family)
                                  : deps_.taskPolicy.releaseEach(allowed, family);
    // The lines in the order of the request, one write for all.
    std::vector<std::string> lines;
    lines.reserve(pids.size());
    bool changed = !ahead.empty();
    {
        std::lock_guard lock(pidsQueue_);
        for (std::size_t i = 0, next = 0; i < pids.size(); ++i) {
            if (held[i]) continue;
            if (announcement) lines.push_back(announcement(pids[i]));
            if (outcomes[i].failure) {
                lines.push_back("KorvaneHelper: " + *outcomes[i].failure);
                continue;
            }
            if (next >= results.size()) continue;
            outcomes[i] = outcome(background, pids[i], results[next++], lines);
            std::int32_t pid = pids[i];
            if (outcomes[i].failure) {
                if (ahead.contains(pid)) throttledPIDs_.erase(pid);
            } else if (!background) {
                changed = throttledPIDs_.erase(pid) != 0 || changed;
            } else {
                auto started = outcomes[i].startTime != 0 ? std::optional(outcomes[i].startTime) : deps_.startTimeOf(pid);
                if (started) throttledPIDs_.insert_or_assign(pid, *started);
                changed = true;
            }
        }
        if (changed) saveLocked();
    }
    log::writeLines(lines);
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
    auto done = runEach(true, {pid}).front();
    reply(!done.failure, std::move(done.failure));
}

void ThrottleEngine::unthrottle(std::int32_t pid, const ReplyBlock& reply) {
    {
        std::lock_guard lock(pidsQueue_);
        if (throttledPIDs_.contains(pid) && !stillNamesLocked(pid) && deps_.startTimeOf(pid)) {
            // The process we throttled is gone and a stranger has its pid:
            // whatever policy the stranger has is its own.
            throttledPIDs_.erase(pid);
            saveLocked();
            reply(true, std::nullopt);
            return;
        }
    }
    auto done = runEach(false, {pid}).front();
    reply(!done.failure, std::move(done.failure));
}

bool ThrottleEngine::releaseAndRecord(std::int32_t pid) { return !runEach(false, {pid}).front().failure; }

void ThrottleEngine::applyEachAndRecord(const std::vector<std::int32_t>& pids, const ProcessFamily* family) {
    runEach(true, pids, {}, family);
}

void ThrottleEngine::applyEachUnlessHeld(const std::vector<std::int32_t>& pids, const Announcement& announcement,
                                         const ProcessFamily* family) {
    // Test and change within one batch's turn, so two scans never throttle
    // one process twice.
    runEach(true, pids, announcement, family, true);
}

void ThrottleEngine::runForEach(bool background, const std::vector<std::int32_t>& pids, ReplyBlock reply) {
    auto outcomes = runEach(background, pids);
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
    // A pid named twice is one process: it is changed, and reported, once.
    std::vector<std::int32_t> distinct;
    distinct.reserve(pids.size());
    std::unordered_set<std::int32_t> seen;
    for (std::int32_t pid : pids) {
        if (seen.insert(pid).second) distinct.push_back(pid);
    }
    runForEach(true, distinct, std::move(reply));
}

void ThrottleEngine::unthrottleAll(ReplyBlock reply) {
    std::vector<std::int32_t> copy;
    {
        std::lock_guard lock(pidsQueue_);
        // Entries whose process is gone or replaced have nothing to release.
        if (dropEndedLocked() > 0) saveLocked();
        for (const auto& [pid, started] : throttledPIDs_) copy.push_back(pid);
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
