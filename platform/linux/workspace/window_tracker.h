#pragma once
// The applications a compositor's windows make, followed from its reports:
// each report of the whole window list or of the window in front becomes a
// workspace update with the launches and terminations it implies. Every
// Wayland workspace runs one; the rules are the X11 workspace's (one
// application per process, named by window_identity). Not thread-safe: the
// adapter keeps it on the thread it follows its compositor on.
#include <sys/types.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/identity/desktop_session.h"
#include "platform/linux/identity/identity_resolver.h"
#include "platform/linux/sched/task_tree_reader.h"
#include "platform/linux/workspace/published_workspace.h"
#include "platform/linux/workspace/window_identity.h"
#include "platform/linux/workspace/window_report.h"

namespace korvane::linux_platform {

struct TrackerConfig {
    // The /proc root and the data folders whose desktop entries name
    // applications.
    identity::IdentityConfig identity = identity::IdentityConfig::fromEnvironment();
    std::string locale = identity::messagesLocaleFromEnvironment();  // picks Name[ll_CC]
    // Where the desktop's own programs are recognised (never listed as
    // applications, so focus mode never throttles them); its /proc root is
    // the identity's.
    identity::DesktopSessionConfig desktop = identity::DesktopSessionConfig::fromEnvironment();
    pid_t ownPid = ::getpid();  // never listed, whatever it resolves to
};

class WindowTracker {
public:
    WindowTracker(TrackerConfig config, identity::UnitLookup& units);

    WorkspaceUpdate apply(const WindowReport& report);
    // The compositor cannot be seen for now: nothing is in front, and the
    // applications stay listed until it speaks again.
    WorkspaceUpdate lose();

private:
    struct Window {
        WindowFacts facts;
        std::string id;
    };
    void takeWindows(const std::vector<ReportedWindow>& reported);
    std::optional<AppKey> frontKey() const;
    bool ownWindowInFront() const;
    // The applications the windows make now, with the launches and
    // terminations since the last time.
    void regroup(WorkspaceUpdate& update);
    WorkspaceUpdate current(WorkspaceUpdate update);

    pid_t ownPid_;
    TaskTreeReader proc_;
    identity::DesktopSession desktop_;
    identity::IdentityResolver resolver_;
    WindowIdentity identity_;

    std::vector<Window> windows_;  // in the compositor's order
    std::map<std::string, std::uint32_t> numbers_;  // the desktop's IDs as WindowFacts numbers
    std::uint32_t nextNumber_ = 1;
    std::string active_;
    std::optional<AppKey> front_;  // kept while one of our own windows is in front
    std::vector<WindowGroup> groups_;  // points into windows_
    std::map<AppKey, app::RunningApplication> records_;
};

}  // namespace korvane::linux_platform
