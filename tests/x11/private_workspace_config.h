#pragma once
// The X11 workspace pointed at a private desktop: its display, desktop
// entries only from `tree`'s share/applications (and a data home below
// tree's home/ that stays empty), German names where entries have them.
#include "platform/linux/x11/x11_workspace.h"
#include "platform/linux/identity/executable_search.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/x11/x_session.h"

namespace korvane::testing {

inline linux_platform::X11WorkspaceConfig privateWorkspaceConfig(const XSession& session, const FixtureTree& tree) {
    linux_platform::X11WorkspaceConfig config;
    config.display = session.display();
    config.identity.procRoot = "/proc";
    config.identity.systemDataFolders = {tree.path("share")};
    config.identity.executableSearchPath = identity::ExecutableSearch::foldersFromEnvironment();
    config.identity.homeOf = [home = tree.path("home")](uid_t) { return std::optional(home); };
    config.locale = "de_DE.UTF-8";
    return config;
}

}  // namespace korvane::testing
