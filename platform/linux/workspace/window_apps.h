#pragma once
// Which applications a list of top-level windows makes, on any desktop. An
// application is a process (a pid and the start time that tells it from a
// later process given the same pid) that owns at least one window of the
// window manager's client list (or the compositor's window list).
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/focus/workspace.h"

namespace korvane::linux_platform {

enum class WindowKind {
    normal,    // a normal or dialog window (or one that names no type)
    other,     // utility, toolbar, splash and the like
    excluded,  // dock and desktop windows: never an application's
};

struct WindowFacts {
    std::uint32_t window = 0;
    pid_t pid = 0;  // 0 when it could not be learned
    std::uint64_t startTime = 0;
    // From the X-Resource extension: the process holding the connection, as
    // the kernel told the server. 0 when unknown or remote.
    pid_t connectionPid = 0;
    std::string instance;  // WM_CLASS
    std::string className;
    std::string appID;     // the Wayland app_id, or the compositor's own application ID
    WindowKind kind = WindowKind::normal;
    bool skipTaskbar = false;
    std::optional<app::AppIcon> icon;  // from _NET_WM_ICON
};

struct AppKey {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    auto operator<=>(const AppKey&) const = default;
};

struct WindowGroup {
    AppKey key;
    app::ActivationPolicy policy = app::ActivationPolicy::accessory;
    std::vector<const WindowFacts*> windows;  // in client-list order
};

// The applications `windows` (in client-list order) make, in the order of
// each one's first window. Windows of `ownPid`, of processes in `ended` and
// without a pid make none.
std::vector<WindowGroup> groupWindows(const std::vector<const WindowFacts*>& windows, pid_t ownPid,
                                      const std::set<AppKey>& ended);

// The application `window` belongs to among `groups`, if any.
std::optional<AppKey> ownerOf(const std::vector<WindowGroup>& groups, std::uint32_t window);

}  // namespace korvane::linux_platform
