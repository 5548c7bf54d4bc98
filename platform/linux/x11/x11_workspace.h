#pragma once
// The focus engine's workspace on an X11 desktop with an EWMH window manager.
// An application is a process owning a window of _NET_CLIENT_LIST; the front
// one owns _NET_ACTIVE_WINDOW. The workspace keeps its own connection on its
// own thread, follows the root window's and the client windows' properties,
// and posts launch, termination and activation announcements to the main
// loop. Snapshots are answered from what the events told so far, so they are
// cheap enough to ask for on every refresh.
#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/focus/workspace.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/subject.h"
#include "platform/linux/identity/desktop_session.h"
#include "platform/linux/identity/identity_resolver.h"
#include "shared/mainloop/main_loop.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct X11WorkspaceConfig {
    std::string display;  // as in $DISPLAY; empty means $DISPLAY itself
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

class X11Workspace final : public app::Workspace {
public:
    // Connects and reads the desktop once, so the first snapshot is complete.
    // `units` must outlive the workspace. Fails with a readable reason when no
    // X server answers.
    static Expected<std::unique_ptr<X11Workspace>, std::string> open(MainLoop& loop, X11WorkspaceConfig config,
                                                                     identity::UnitLookup& units);
    ~X11Workspace() override;

    std::vector<app::RunningApplication> runningApplications() const override;
    std::optional<app::RunningApplication> frontmostApplication() const override;
    app::Subscription observeLaunch(AppObserver observer) override;
    app::Subscription observeTermination(AppObserver observer) override;
    app::Subscription observeActivation(AppObserver observer) override;
    app::Subscription observeFrontCleared(std::function<void()> observer) override;

    class Follower;  // the connection's thread

private:
    explicit X11Workspace(MainLoop& loop);

    enum class Announcement { launch, termination, activation, frontCleared };
    // From the connection's thread.
    void publish(std::vector<app::RunningApplication> apps, std::optional<app::RunningApplication> front,
                 std::vector<std::pair<Announcement, app::RunningApplication>> announcements);

    mutable std::mutex mutex_;
    std::vector<app::RunningApplication> apps_;
    std::optional<app::RunningApplication> front_;

    std::shared_ptr<app::Lifeline> lifeline_;
    app::Subject<app::RunningApplication> launched_, terminated_, activated_;
    app::Subject<Done> cleared_;
    std::unique_ptr<Follower> follower_;
    std::thread thread_;
};

}  // namespace korvane::linux_platform
