#pragma once
// The families' sessions, started by DesktopSession::start.
#include <memory>
#include <string>

#include "tests/desktops/wayland_session.h"

namespace korvane::testing {

std::unique_ptr<DesktopSession> startX11(std::string& why);
std::unique_ptr<DesktopSession> startSway(std::string& why);
std::unique_ptr<DesktopSession> startKWin(std::string& why);
std::unique_ptr<DesktopSession> startGnome(std::string& why);

// Faults: KWin ends and a new KWin takes its place (its clients end with
// it); the GNOME Shell extension is switched off or on while the shell runs.
bool replaceKWin(DesktopSession& kwin, std::string& why);
bool setGnomeExtensionEnabled(DesktopSession& gnome, bool enabled);

}  // namespace korvane::testing
