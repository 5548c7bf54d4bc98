#include "shared/identity/desktop_session_rule.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

namespace korvane::identity {
namespace {

// By the name of the program's file (or, failing that, the kernel's name
// for the process, which is cut at 15 bytes).
constexpr std::array kDesktopPrograms = {
    // display servers
    "Xorg", "X", "Xwayland", "Xvfb", "Xephyr", "Xnest", "Xvnc", "Xtigervnc",
    // window managers and compositors
    "openbox", "icewm", "icewm-session", "fluxbox", "xfwm4", "kwin_x11", "kwin_wayland", "mutter", "gnome-shell",
    "marco", "metacity", "muffin", "cinnamon", "compiz", "i3", "sway", "weston", "labwc", "wayfire", "Hyprland",
    "river", "awesome", "bspwm", "herbstluftwm", "xmonad", "dwm", "enlightenment", "fvwm", "fvwm3", "jwm",
    "matchbox-window-manager", "picom", "compton", "xcompmgr", "budgie-wm", "gala",
    // desktop shells, panels and tray hosts
    "plasmashell", "xfce4-panel", "xfdesktop", "lxpanel", "lxqt-panel", "pcmanfm-qt", "mate-panel", "tint2",
    "trayer", "stalonetray", "polybar", "waybar", "swaybar", "swaybg", "plank", "budgie-panel", "wf-panel",
    "nemo-desktop", "gnome-flashback", "cairo-dock", "lemonbar",
    // notification servers
    "dunst", "mako", "notify-osd", "xfce4-notifyd", "mate-notification-daemon", "swaync", "fnott",
    "notification-daemon", "lxqt-notificationd",
    // input methods
    "ibus-daemon", "ibus-x11", "ibus-ui-gtk3", "ibus-extension-gtk3", "fcitx", "fcitx5", "uim-xim", "scim",
    // session managers
    "gnome-session-binary", "gnome-session", "xfce4-session", "lxsession", "lxqt-session", "mate-session",
    "ksmserver", "startplasma-x11", "startplasma-wayland", "cinnamon-session", "budgie-desktop",
};

bool isDecimal(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view nextField(std::string_view& line) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const auto end = line.find(' ');
    std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

}  // namespace

bool isKnownDesktopProgram(std::string_view program) {
    return std::find(kDesktopPrograms.begin(), kDesktopPrograms.end(), program) != kDesktopPrograms.end();
}

bool declaresSessionRole(const DesktopEntry& entry) {
    // "Applications" is the phase of ordinary programs started at login,
    // as KDE's phase 2 is.
    auto earlyPhase = [](const std::string& phase) { return !phase.empty() && phase != "Applications"; };
    return !entry.gnomeProvides.empty() || earlyPhase(entry.gnomePhase) || earlyPhase(entry.matePhase) ||
           entry.kdePhase == "0" || entry.kdePhase == "1";
}

bool isDisplaySocketPath(std::string_view path) {
    if (path.starts_with('@')) path.remove_prefix(1);
    constexpr std::string_view x11 = "/tmp/.X11-unix/X";
    if (path.starts_with(x11)) return isDecimal(path.substr(x11.size()));
    const std::string_view name = path.substr(path.rfind('/') + 1);
    constexpr std::string_view wayland = "wayland-";
    return name.starts_with(wayland) && isDecimal(name.substr(wayland.size()));
}

std::set<std::uint64_t> listeningDisplaySockets(std::string_view procNetUnix) {
    // "Num: RefCount Protocol Flags Type St Inode Path"; a listening socket
    // has __SO_ACCEPTCON (0x10000) in its flags.
    std::set<std::uint64_t> inodes;
    while (!procNetUnix.empty()) {
        const auto end = procNetUnix.find('\n');
        std::string_view line = procNetUnix.substr(0, end);
        procNetUnix.remove_prefix(end == std::string_view::npos ? procNetUnix.size() : end + 1);
        std::array<std::string_view, 8> fields;
        for (auto& field : fields) field = nextField(line);
        unsigned long flags = 0;
        std::uint64_t inode = 0;
        const auto [flagsEnd, flagsError] = std::from_chars(fields[3].begin(), fields[3].end(), flags, 16);
        const auto [inodeEnd, inodeError] = std::from_chars(fields[6].begin(), fields[6].end(), inode);
        if (flagsError != std::errc() || inodeError != std::errc() || (flags & 0x10000) == 0) continue;
        if (isDisplaySocketPath(fields[7])) inodes.insert(inode);
    }
    return inodes;
}

}  // namespace korvane::identity
