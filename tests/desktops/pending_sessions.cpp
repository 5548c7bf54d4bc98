// KWin and GNOME Shell, until their workspaces exist.
#include "tests/desktops/desktop_sessions.h"

namespace korvane::testing {

std::unique_ptr<DesktopSession> startKWin(std::string& why) {
    why = "no KWin workspace yet";
    return nullptr;
}

std::unique_ptr<DesktopSession> startGnome(std::string& why) {
    why = "no GNOME Shell workspace yet";
    return nullptr;
}

}  // namespace korvane::testing
