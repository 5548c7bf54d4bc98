#pragma once
// What the headless Wayland desktops share: a user to run the compositor
// as (sway and GNOME Shell refuse root), a private runtime folder, a
// private session bus both that user and the test may use, the compositor
// itself, its Xwayland, and clients started as that user in a clean
// environment, as GLib starts them from a desktop entry.
#include <sys/types.h>

#include <QDBusConnection>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/desktops/desktop_session.h"

namespace korvane::testing {

class WaylandSession : public DesktopSession {
public:
    ~WaylandSession() override;

    std::string windowClass(const TestApp& testApp) const override;
    std::unique_ptr<StartedProgram> launch(const TestApp& testApp, const std::string& entryPath,
                                       std::string& why) override;
    Environment environment() const override;
    std::string log() const override;

    // Runs a program of the desktop (swaymsg, gdbus, gsettings) as its user
    // in its environment, and waits for it.
    CommandResult run(const std::vector<std::string>& argv) const;
    // Calls `method` (interface.Name) of `path` at `destination` on the
    // desktop's session bus with gdbus, as its user.
    CommandResult call(const std::string& destination, const std::string& path, const std::string& method,
                       const std::vector<std::string>& args = {}) const;
    // Starts one as its user, with `extra` beside the desktop's environment;
    // standard error goes to `logPath`.
    std::unique_ptr<StartedProgram> start(const std::vector<std::string>& argv, const Environment& extra,
                                          const std::string& logPath) const;
    uid_t uid() const { return uid_; }
    const std::string& home() const { return home_; }
    const std::string& runtimeDir() const { return runtime_; }
    const std::string& busAddress() const { return busAddress_; }
    // A new connection of this process to the session bus, as Korvane's.
    QDBusConnection connectToBus() const;

protected:
    // `asRoot`: the compositor runs as the test's own user.
    WaylandSession(DesktopFamily family, bool asRoot, std::string& why);

    // Starts the compositor (`argv`, with `extra` beside the session's
    // environment) and waits until `ready()` holds; false, with what it
    // printed in `why`, when it ends or stays unready for 20 s.
    bool startCompositor(const std::vector<std::string>& argv, const Environment& extra,
                         const std::function<bool()>& ready, std::string& why);
    // The pids the compositor lists windows of now.
    virtual std::set<pid_t> listedPids() = 0;
    // The pids of "12,34".
    static std::set<pid_t> pidsIn(const std::string& list);
    // Finds the Xwayland the compositor started, for DISPLAY and its
    // authority file.
    bool findXwayland(std::string& why);
    pid_t compositorPid() const { return compositor_ ? compositor_->pid() : -1; }
    // A live process below the compositor's that runs `program` (a file
    // name), or -1.
    pid_t descendantRunning(const std::string& program) const;
    // argv run as the session's user with exactly `environment`.
    std::vector<std::string> asUser(const std::vector<std::string>& argv, const Environment& environment) const;

    uid_t uid_ = 0;
    gid_t gid_ = 0;
    std::string runtime_, home_, logPath_;
    std::string waylandDisplay_, x11Display_, xauthority_;
    std::string busAddress_;
    std::unique_ptr<StartedProgram> bus_, compositor_;
};

// A session of the family, or nothing when it did not start (`why` says why).
template <class Session, class... Arguments>
std::unique_ptr<DesktopSession> startedOrNothing(std::string& why, Arguments... arguments) {
    auto session = std::make_unique<Session>(arguments..., why);
    if (!why.empty()) return nullptr;
    return session;
}

}  // namespace korvane::testing
