#include "platform/linux/workspace/window_apps.h"

#include <algorithm>
#include <map>

namespace korvane::linux_platform {

std::vector<WindowGroup> groupWindows(const std::vector<const WindowFacts*>& windows, pid_t ownPid,
                                      const std::set<AppKey>& ended) {
    std::vector<WindowGroup> groups;
    std::map<AppKey, std::size_t> indexOf;
    for (const WindowFacts* window : windows) {
        if (window->pid <= 0 || window->pid == ownPid || window->kind == WindowKind::excluded) continue;
        AppKey key{window->pid, window->startTime};
        if (ended.contains(key)) continue;
        auto [it, added] = indexOf.emplace(key, groups.size());
        if (added) groups.push_back(WindowGroup{key, app::ActivationPolicy::accessory, {}});
        WindowGroup& group = groups[it->second];
        group.windows.push_back(window);
        if (window->kind == WindowKind::normal && !window->skipTaskbar) group.policy = app::ActivationPolicy::regular;
    }
    return groups;
}

std::optional<AppKey> ownerOf(const std::vector<WindowGroup>& groups, std::uint32_t window) {
    for (const auto& group : groups) {
        bool owns = std::any_of(group.windows.begin(), group.windows.end(),
                                [window](const WindowFacts* facts) { return facts->window == window; });
        if (owns) return group.key;
    }
    return std::nullopt;
}

}  // namespace korvane::linux_platform
