#include "tests/desktops/desktop_session.h"

#include "platform/linux/identity/executable_search.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/desktops/x11_session.h"

namespace korvane::testing {

std::string findProgram(const std::string& name) {
    identity::ExecutableSearch search(identity::ExecutableSearch::foldersFromEnvironment());
    return search.resolve(name).value_or("");
}

linux_platform::TrackerConfig privateTrackerConfig(const FixtureTree& tree) {
    linux_platform::TrackerConfig config;
    config.identity.procRoot = "/proc";
    config.identity.systemDataFolders = {tree.path("share")};
    config.identity.executableSearchPath = identity::ExecutableSearch::foldersFromEnvironment();
    config.identity.homeOf = [home = tree.path("home")](uid_t) { return std::optional(home); };
    config.locale = "de_DE.UTF-8";
    return config;
}

const char* familyName(DesktopFamily family) {
    switch (family) {
        case DesktopFamily::x11: return "X11";
        case DesktopFamily::sway: return "sway";
        case DesktopFamily::kwin: return "KWin";
        case DesktopFamily::gnome: return "GNOME";
    }
    return "?";
}

std::unique_ptr<DesktopSession> DesktopSession::start(DesktopFamily family, std::string& why, bool withPanel) {
    switch (family) {
        case DesktopFamily::x11: return XSession::start(why);
        case DesktopFamily::sway: return startSway(why);
        case DesktopFamily::kwin: return startKWin(withPanel, why);
        case DesktopFamily::gnome: return startGnome(why);
    }
    return nullptr;
}

}  // namespace korvane::testing
