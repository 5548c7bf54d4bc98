#pragma once
// Which processes are the desktop itself, never to be throttled by Beast Mode
// or focus mode: throttling them slows every window, the ones in front
// included. A process is the desktop's when
//   1. its program is a known desktop program: a display server (Xorg,
//      Xwayland), a window manager or compositor, a desktop shell, a panel or
//      tray host, a notification server, an input method, a session manager;
//   2. or the desktop entry it runs from (its application's, or a system
//      autostart entry for its program) declares a session role: a GNOME
//      "X-GNOME-Provides", or a start phase before ordinary applications
//      (GNOME's and MATE's X-*-Autostart-Phase other than "Applications",
//      KDE's X-KDE-autostart-phase 0 or 1);
//   3. or it listens on the display's socket (/tmp/.X11-unix/X<n>, or a
//      Wayland compositor's wayland-<n>).
// NoDisplay=true alone says nothing: ordinary applications hide helper
// entries that way too.
#include <cstdint>
#include <set>
#include <string_view>

#include "shared/identity/desktop_entry.h"

namespace korvane::identity {

bool isKnownDesktopProgram(std::string_view program);

bool declaresSessionRole(const DesktopEntry& entry);

// Whether a socket path (as /proc/net/unix shows it, "@" for abstract
// names) is a display's: an X server's or a Wayland compositor's.
bool isDisplaySocketPath(std::string_view path);

// The inodes of the listening display sockets in a /proc/net/unix listing.
std::set<std::uint64_t> listeningDisplaySockets(std::string_view procNetUnix);

}  // namespace korvane::identity
