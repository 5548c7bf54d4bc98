#pragma once
// A process world for scans, set by the test: the listing, identities,
// parents, cgroups and the clock, and a ProcessInfo over them. Thread-safe
// where two scans may run at once.
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "helper/process_info.h"

namespace korvane::testing {

class FakeIdentity final : public identity::ProcessIdentity {
public:
    void refresh() override {}
    std::optional<identity::AppOrigin> originOf(pid_t pid) override {
        std::lock_guard lock(mutex_);
        ++lookups_[pid];
        auto it = paths_.find(pid);
        if (it == paths_.end()) return std::nullopt;
        return identity::AppOrigin{identity::OriginKind::DesktopEntry, it->second};
    }
    std::optional<std::string> readAppID(const identity::AppOrigin& origin) override {
        std::lock_guard lock(mutex_);
        auto it = ids_.find(origin.path);
        return it == ids_.end() ? std::nullopt : std::optional(it->second);
    }

    // `pid` belongs to the application at `path`, whose ID is `id` (none when empty).
    void add(pid_t pid, const std::string& path, const std::string& id = {}) {
        std::lock_guard lock(mutex_);
        paths_[pid] = path;
        if (!id.empty()) ids_[path] = id;
    }
    int lookups(pid_t pid) {
        std::lock_guard lock(mutex_);
        return lookups_[pid];
    }
    std::uint64_t generation() const override { return generation_; }
    // Entries changed everywhere, or in one data folder only.
    void entriesChanged() { forgottenAt_ = ++generation_; }
    void entriesChangedIn(const std::string& folder) {
        std::lock_guard lock(mutex_);
        changedAt_[folder] = ++generation_;
    }
    // The origin of `pid` rests on the entries of `folder`.
    void dependsOn(pid_t pid, const std::string& folder) {
        std::lock_guard lock(mutex_);
        folders_[pid] = folder;
    }
    identity::FoundOrigin findOrigin(pid_t pid) override {
        auto origin = originOf(pid);
        std::lock_guard lock(mutex_);
        auto folder = folders_.find(pid);
        if (folder == folders_.end()) return {origin, {}};
        return {origin, {folder->second}};
    }
    std::uint64_t lastChangeOf(const std::vector<std::string>& folders) const override {
        std::lock_guard lock(mutex_);
        std::uint64_t last = forgottenAt_;
        for (const auto& folder : folders) {
            if (auto it = changedAt_.find(folder); it != changedAt_.end()) last = std::max(last, it->second);
        }
        return last;
    }

private:
    mutable std::mutex mutex_;
    std::map<pid_t, std::string> paths_;
    std::map<pid_t, std::string> folders_;
    std::map<std::string, std::uint64_t> changedAt_;
    std::atomic<std::uint64_t> forgottenAt_ = 0;
    std::map<std::string, std::string> ids_;
    std::map<pid_t, int> lookups_;
    std::atomic<std::uint64_t> generation_ = 0;
};

// The process table the test sets: pids and command lines, or a failure.
struct FakeListing {
    using Table = Expected<std::vector<ProcessEntry>, std::string>;
    Table operator()() {
        ++taken;
        std::lock_guard lock(mutex);
        return table;
    }
    void set(const std::vector<std::pair<std::int32_t, std::string>>& processes) {
        std::vector<ProcessEntry> entries;
        for (const auto& [pid, commandLine] : processes) entries.push_back({pid, 0, 0, commandLine});
        std::lock_guard lock(mutex);
        table = std::move(entries);
    }
    void fail(std::string why) {
        std::lock_guard lock(mutex);
        table = unexpected(std::move(why));
    }
    std::mutex mutex;
    Table table = std::vector<ProcessEntry>{};
    std::atomic<int> taken = 0;
};

struct ScanWorld {
    FakeIdentity identity;
    FakeListing listing;
    std::map<std::int32_t, std::int32_t> parents;
    std::map<std::int32_t, std::string> cgroups;  // "0::/" for every other process
    std::chrono::steady_clock::time_point now{};
    helper::ProcessInfo info{{
        .table = std::ref(listing),
        .identity = identity,
        .parentOf = [this](std::int32_t pid) -> std::optional<std::int32_t> {
            auto it = parents.find(pid);
            return it == parents.end() ? std::nullopt : std::optional(it->second);
        },
        .cgroupOf = [this](std::int32_t pid) -> std::optional<std::string> {
            auto it = cgroups.find(pid);
            return it == cgroups.end() ? std::string("0::/") : it->second;
        },
        .selfPID = 999,
        .now = [this] { return now; },
    }};
};

}  // namespace korvane::testing
