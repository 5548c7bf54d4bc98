#pragma once
// Which workspace Korvane opens, from what the session says. An X11 session
// is followed through EWMH (i3 included). A Wayland session through its
// compositor's own way in: sway's IPC socket, KWin's scripting, or Korvane's
// GNOME Shell extension; any other Wayland desktop only through Xwayland,
// which shows Xwayland's windows alone. KORVANE_WORKSPACE=x11|sway|kwin|gnome
// overrides the choice.
#include <string>

namespace korvane::linux_platform {

enum class WorkspaceKind { x11, sway, kwin, gnome, none };

struct SessionFacts {
    std::string requested = {};       // $KORVANE_WORKSPACE
    std::string sessionType = {};     // $XDG_SESSION_TYPE
    std::string currentDesktop = {};  // $XDG_CURRENT_DESKTOP
    bool waylandDisplay = false;  // $WAYLAND_DISPLAY set
    bool x11Display = false;      // $DISPLAY set
    bool swaySocket = false;      // $SWAYSOCK set
    bool kwinOnBus = false;       // org.kde.KWin has an owner
    bool gnomeShellOnBus = false; // org.gnome.Shell has an owner

    // Everything but the bus, from this process's environment.
    static SessionFacts fromEnvironment();
};

struct WorkspaceChoice {
    WorkspaceKind kind = WorkspaceKind::none;
    std::string why;        // one line for the log
    std::string blindSpot;  // what Korvane cannot see with it, for the log and the popover
};

WorkspaceChoice chooseWorkspace(const SessionFacts& facts);

const char* workspaceName(WorkspaceKind kind);

}  // namespace korvane::linux_platform
