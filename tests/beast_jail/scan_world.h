#pragma once
// A process world for scans, set by the test: the listing, identities,
// parents, cgroups and the clock, and a ProcessInfo over them. Thread-safe
// where two scans may run at once.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "helper/process_info.h"

namespace korvane::testing {

class FakeIdentity final : public identity::ProcessIdentity {
public:
    void refresh() override {}
    std::optional<identity::AppOrigin> originOf(pid_t pid) override { return findOrigin(pid).origin; }
    identity::FoundOrigin findOrigin(pid_t pid) override {
        std::lock_guard lock(mutex_);
        ++lookups_[pid];
        identity::FoundOrigin found;
        if (auto path = paths_.find(pid); path != paths_.end()) {
            found.origin = {identity::OriginKind::DesktopEntry, path->second};
        }
        if (auto folder = folders_.find(pid); folder != folders_.end()) found.folders = {folder->second};
        return found;
    }
    std::optional<std::string> readAppID(const identity::AppOrigin& origin) override {
        std::lock_guard lock(mutex_);
        auto it = ids_.find(origin.path);
        return it == ids_.end() ? std::nullopt : std::optional(it->second);
    }
    std::uint64_t generation() const override { return generation_; }
    std::uint64_t lastChangeOf(const std::vector<std::string>& folders) const override {
        std::lock_guard lock(mutex_);
        std::uint64_t last = 0;
        for (const auto& [folder, at] : changedAt_) {
            if (folder.empty() || std::ranges::count(folders, folder) > 0) last = std::max(last, at);
        }
        return last;
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
    // Entries changed in one data folder, or everywhere.
    void entriesChanged(const std::string& folder = {}) {
        std::lock_guard lock(mutex_);
        changedAt_[folder] = ++generation_;
    }
    // The origin of `pid` rests on the entries of `folder`.
    void dependsOn(pid_t pid, const std::string& folder) {
        std::lock_guard lock(mutex_);
        folders_[pid] = folder;
    }

private:
    mutable std::mutex mutex_;
    std::map<pid_t, std::string> paths_, folders_;
    std::map<std::string, std::string> ids_;
    std::map<std::string, std::uint64_t> changedAt_;  // "": everywhere
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
