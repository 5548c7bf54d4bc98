#include "platform/linux/workspace/window_tracker.h"

#include <algorithm>

namespace korvane::linux_platform {

using app::RunningApplication;

WindowTracker::WindowTracker(TrackerConfig config, identity::UnitLookup& units)
    : ownPid_(config.ownPid),
      proc_(config.identity.procRoot),
      desktop_([&] {
          config.desktop.procRoot = config.identity.procRoot;
          return std::move(config.desktop);
      }()),
      resolver_(std::move(config.identity), units),
      identity_(resolver_, std::move(config.locale), &desktop_) {}

WorkspaceUpdate WindowTracker::apply(const WindowReport& report) {
    WorkspaceUpdate update;
    if (report.windows) {
        takeWindows(*report.windows);
        regroup(update);
    }
    if (report.active) active_ = *report.active;
    return current(std::move(update));
}

WorkspaceUpdate WindowTracker::lose() {
    active_.clear();
    return current({});
}

// A window keeps its number and its process's start time for as long as it
// is listed; the start time tells its process from a later one given the
// same pid. A pid with no process behind it makes no application.
void WindowTracker::takeWindows(const std::vector<ReportedWindow>& reported) {
    std::map<std::string, Window> known;
    for (auto& window : windows_) known.emplace(window.id, std::move(window));
    windows_.clear();
    std::map<std::string, std::uint32_t> numbers;
    for (const auto& report : reported) {
        if (numbers.contains(report.id)) continue;
        Window window;
        window.id = report.id;
        auto old = known.find(report.id);
        if (old != known.end() && old->second.facts.pid == report.pid) {
            window.facts = old->second.facts;
        } else {
            auto number = numbers_.find(report.id);
            window.facts.window = number != numbers_.end() ? number->second : nextNumber_++;
            auto stat = proc_.stat(report.pid);
            window.facts.pid = stat && !stat->isKernelThread() ? report.pid : 0;
            window.facts.startTime = stat ? stat->startTime : 0;
        }
        window.facts.appID = report.appID;
        window.facts.instance = report.instance;
        window.facts.className = report.className;
        window.facts.kind = report.kind;
        window.facts.skipTaskbar = report.skipTaskbar;
        numbers.emplace(window.id, window.facts.window);
        windows_.push_back(std::move(window));
    }
    numbers_ = std::move(numbers);
}

std::optional<AppKey> WindowTracker::frontKey() const {
    if (active_.empty()) return std::nullopt;
    auto number = numbers_.find(active_);
    // The compositor may name the active window before it lists it.
    if (number == numbers_.end()) return std::nullopt;
    return ownerOf(groups_, number->second);
}

bool WindowTracker::ownWindowInFront() const {
    return !active_.empty() && std::any_of(windows_.begin(), windows_.end(), [&](const Window& window) {
        return window.id == active_ && window.facts.pid == ownPid_;
    });
}

void WindowTracker::regroup(WorkspaceUpdate& update) {
    identity_.refresh();
    std::vector<const WindowFacts*> ordered;
    for (const auto& window : windows_) ordered.push_back(&window.facts);
    groups_ = groupWindows(ordered, ownPid_, {});

    std::map<AppKey, RunningApplication> records;
    for (const auto& group : groups_) {
        RunningApplication record = identity_.recordOf(group);
        if (!records_.contains(group.key)) update.launched.push_back(record);
        records.emplace(group.key, std::move(record));
    }
    for (auto& [key, record] : records_) {
        if (records.contains(key)) continue;
        update.terminated.push_back(std::move(record));
        identity_.forget(key);
    }
    records_ = std::move(records);
}

// Our own windows coming to the front (the popover) neither engage nor
// release: the front stays what it was, while it still runs.
WorkspaceUpdate WindowTracker::current(WorkspaceUpdate update) {
    for (const auto& group : groups_) update.apps.push_back(records_.at(group.key));
    if (!ownWindowInFront()) front_ = frontKey();
    if (front_ && !records_.contains(*front_)) front_.reset();
    if (front_) update.front = records_.at(*front_);
    return update;
}

}  // namespace korvane::linux_platform
