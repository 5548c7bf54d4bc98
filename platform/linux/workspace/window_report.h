#pragma once
// What a compositor tells about its windows, in the one form every Wayland
// workspace hands to the tracker: the whole window list, the window in
// front, or both. The KWin script and the GNOME Shell extension send it as
// JSON; sway's tree is read into it. Every such message comes from another
// program, so each is bounded before it is believed.
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/workspace/window_apps.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct ReportedWindow {
    std::string id;  // the desktop's own name for the window
    pid_t pid = 0;   // as the compositor knows it: the client's socket peer
    std::string appID;  // Wayland app_id, or the application the desktop matched
    std::string instance, className;  // X11 WM_CLASS of an Xwayland window
    WindowKind kind = WindowKind::normal;
    bool skipTaskbar = false;
    friend bool operator==(const ReportedWindow&, const ReportedWindow&) = default;
};

struct WindowReport {
    std::optional<std::vector<ReportedWindow>> windows;  // absent: unchanged
    std::optional<std::string> active;                   // absent: unchanged; empty: nothing in front
};

struct ReportLimits {
    std::size_t messageBytes = 1 << 20;
    std::size_t windows = 1024;
    std::size_t textBytes = 512;  // each ID, app_id and class
};

// {"windows": [{"id", "pid", "appId", "class", "instance", "kind":
// "normal"|"other"|"excluded", "skipTaskbar"}], "active": "ID" or ""}.
// A message beyond the limits, or not of this shape, is refused whole, with
// the reason; only an app_id or class longer than the limit (clients choose
// them) is taken as empty instead.
Expected<WindowReport, std::string> parseWindowReport(std::string_view json, const ReportLimits& limits = {});

}  // namespace korvane::linux_platform
