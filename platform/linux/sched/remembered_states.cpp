#include "platform/linux/sched/remembered_states.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "shared/topology/cpu_list.h"

namespace korvane::linux_platform {

void RememberedStates::remember(pid_t pid, RememberedProcess process, const StartTimeLookup& startTimeOf) {
    auto found = processes_.find(pid);
    if (found != processes_.end() && found->second.process.stillNames(pid, startTimeOf)) {
        for (auto& [tid, state] : process.threads) found->second.threads.try_emplace(tid, std::move(state));
        found->second.noted = found->second.noted && process.noted;
        return;
    }
    if (found != processes_.end()) erase(found);
    if (process.process.holdsDescriptor()) ++heldDescriptors_;
    processes_.emplace(pid, std::move(process));
}

const RememberedProcess* RememberedStates::find(pid_t pid, const StartTimeLookup& startTimeOf) {
    auto found = processes_.find(pid);
    if (found == processes_.end()) return nullptr;
    if (!found->second.process.stillNames(pid, startTimeOf)) {
        erase(found);
        return nullptr;
    }
    return &found->second;
}

void RememberedStates::forget(pid_t pid) {
    if (auto found = processes_.find(pid); found != processes_.end()) erase(found);
}

void RememberedStates::forgetNoted() {
    for (auto it = processes_.begin(); it != processes_.end();) {
        it = it->second.noted ? erase(it) : std::next(it);
    }
}

void RememberedStates::sweepIfGrown(const StartTimeLookup& startTimeOf) {
    if (processes_.size() < sweepAt_) return;
    for (auto it = processes_.begin(); it != processes_.end();) {
        it = it->second.process.stillNames(it->first, startTimeOf) ? std::next(it) : erase(it);
    }
    sweepAt_ = std::max(kFirstSweepSize, processes_.size() * 2);
}

namespace {

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        auto space = line.find(' ');
        fields.push_back(line.substr(0, space));
        line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    }
    return fields;
}

template <class Number>
bool parseNumber(std::string_view text, Number& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::optional<std::pair<pid_t, ThreadSchedState>> parseThread(const std::vector<std::string_view>& f) {
    if (f.size() != 11) return std::nullopt;
    pid_t tid = 0;
    ThreadSchedState state;
    SchedAttributes& a = state.attributes;
    if (!parseNumber(f[1], tid) || !parseNumber(f[2], a.policy) || !parseNumber(f[3], a.flags) ||
        !parseNumber(f[4], a.nice) || !parseNumber(f[5], a.priority) || !parseNumber(f[6], a.runtime) ||
        !parseNumber(f[7], a.deadline) || !parseNumber(f[8], a.period) || !parseNumber(f[9], state.ioPriority)) {
        return std::nullopt;
    }
    auto cpus = parseCpuList(f[10] == "-" ? std::string_view() : f[10]);
    if (!cpus) return std::nullopt;
    state.affinity = CpuMask::of(*cpus);
    return std::pair(tid, state);
}

}  // namespace

std::string RememberedStates::serialize() const {
    std::string text;
    for (const auto& [pid, process] : processes_) {
        text += "P " + std::to_string(pid) + " " + std::to_string(process.process.startTime()) + "\n";
        for (const auto& [tid, state] : process.threads) {
            const SchedAttributes& a = state.attributes;
            std::string cpus = formatCpuList(state.affinity.cpus());
            text += "T " + std::to_string(tid) + " " + std::to_string(a.policy) + " " + std::to_string(a.flags) + " " +
                    std::to_string(a.nice) + " " + std::to_string(a.priority) + " " + std::to_string(a.runtime) +
                    " " + std::to_string(a.deadline) + " " + std::to_string(a.period) + " " +
                    std::to_string(state.ioPriority) + " " + (cpus.empty() ? "-" : cpus) + "\n";
        }
    }
    return text;
}

RememberedStates::Restored RememberedStates::restore(std::string_view text, const StartTimeLookup& startTimeOf) {
    Restored restored;
    // Held by pointer, not in a std::optional: GCC 12's optimiser warns that
    // the optional's map "may be used uninitialized" when it is reset (a
    // false positive, -Wmaybe-uninitialized).
    std::unique_ptr<std::pair<pid_t, RememberedProcess>> current;
    auto finish = [&] {
        if (!current) return;
        if (startTimeOf(current->first) == std::optional(current->second.process.startTime())) {
            ++restored.taken;
            remember(current->first, std::move(current->second), startTimeOf);
        }
        current.reset();
    };
    while (!text.empty()) {
        auto end = text.find('\n');
        auto fields = fieldsOf(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (fields.empty()) continue;
        if (fields[0] == "P" && fields.size() == 3) {
            finish();
            pid_t pid = 0;
            std::uint64_t started = 0;
            if (!parseNumber(fields[1], pid) || !parseNumber(fields[2], started) || pid <= 0) continue;
            ++restored.recorded;
            current = std::make_unique<std::pair<pid_t, RememberedProcess>>(
                pid, RememberedProcess{ProcessReference::startedAt(started), {}});
        } else if (fields[0] == "T" && current) {
            if (auto thread = parseThread(fields)) current->second.threads.insert(*thread);
        }
    }
    finish();
    return restored;
}

RememberedStates::Entries::iterator RememberedStates::erase(Entries::iterator entry) {
    if (entry->second.process.holdsDescriptor()) --heldDescriptors_;
    return processes_.erase(entry);
}

}  // namespace korvane::linux_platform
