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

}  // namespace korvane::testing
