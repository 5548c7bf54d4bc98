#pragma once
// The families' sessions, started by DesktopSession::start.
#include <functional>
#include <memory>
#include <string>

#include "tests/desktops/wayland_session.h"

namespace korvane::testing {

std::unique_ptr<DesktopSession> startSway(std::string& why);
std::unique_ptr<DesktopSession> startKWin(bool withPanel, std::string& why);
std::unique_ptr<DesktopSession> startGnome(std::string& why);

// Faults: `kwin_wayland --replace`, or KWin crashing (`crash`), and its
// wrapper starting another (the old KWin's clients end with it; `whileAway`
// runs once the old KWin has ended, before the new one answers); the GNOME
// Shell extension switched off or on while the shell runs.
bool restartKWin(DesktopSession& kwin, bool crash, std::string& why, const std::function<void()>& whileAway = {});
bool setGnomeExtensionEnabled(DesktopSession& gnome, bool enabled);

}  // namespace korvane::testing
