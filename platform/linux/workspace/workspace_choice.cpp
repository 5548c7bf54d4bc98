#include "platform/linux/workspace/workspace_choice.h"

#include <cstdlib>

namespace korvane::linux_platform {
namespace {

bool set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

std::string valueOf(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? value : "";
}

const char* kOnlyXwayland =
    "this Wayland desktop tells no program which window is in front: Korvane sees only applications on Xwayland";

}  // namespace

SessionFacts SessionFacts::fromEnvironment() {
    SessionFacts facts;
    facts.requested = valueOf("KORVANE_WORKSPACE");
    facts.sessionType = valueOf("XDG_SESSION_TYPE");
    facts.currentDesktop = valueOf("XDG_CURRENT_DESKTOP");
    facts.waylandDisplay = set("WAYLAND_DISPLAY");
    facts.x11Display = set("DISPLAY");
    facts.swaySocket = set("SWAYSOCK");
    return facts;
}

const char* workspaceName(WorkspaceKind kind) {
    switch (kind) {
        case WorkspaceKind::x11: return "x11";
        case WorkspaceKind::sway: return "sway";
        case WorkspaceKind::kwin: return "kwin";
        case WorkspaceKind::gnome: return "gnome";
        case WorkspaceKind::none: return "none";
    }
    return "none";
}

WorkspaceChoice chooseWorkspace(const SessionFacts& facts) {
    std::string note;
    if (!facts.requested.empty()) {
        for (auto kind : {WorkspaceKind::x11, WorkspaceKind::sway, WorkspaceKind::kwin, WorkspaceKind::gnome}) {
            if (facts.requested == workspaceName(kind)) return {kind, "KORVANE_WORKSPACE=" + facts.requested, ""};
        }
        note = "; KORVANE_WORKSPACE=" + facts.requested + " is not one of x11, sway, kwin, gnome";
    }
    const bool wayland = facts.sessionType == "wayland" || (facts.sessionType.empty() && facts.waylandDisplay);
    if (!wayland) {
        if (facts.x11Display) return {WorkspaceKind::x11, "an X11 session" + note, ""};
        return {WorkspaceKind::none, "no display" + note, "there is no display: Korvane sees no applications"};
    }
    const bool kdeFirst = facts.currentDesktop.find("KDE") != std::string::npos;
    if (facts.swaySocket) return {WorkspaceKind::sway, "a Wayland session with $SWAYSOCK" + note, ""};
    if (facts.kwinOnBus && (kdeFirst || !facts.gnomeShellOnBus)) {
        return {WorkspaceKind::kwin, "a Wayland session with org.kde.KWin on the session bus" + note, ""};
    }
    if (facts.gnomeShellOnBus) {
        return {WorkspaceKind::gnome, "a Wayland session with org.gnome.Shell on the session bus" + note, ""};
    }
    if (facts.x11Display) {
        return {WorkspaceKind::x11, "a Wayland session of another desktop, through Xwayland" + note, kOnlyXwayland};
    }
    return {WorkspaceKind::none, "a Wayland session of another desktop, without Xwayland" + note,
            "this Wayland desktop tells no program which window is in front, and there is no Xwayland: Korvane sees "
            "no applications"};
}

}  // namespace korvane::linux_platform
