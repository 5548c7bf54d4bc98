#pragma once
// The X11 family: Xvfb on a display number of its own, openbox managing it,
// and the X11 test client (x11_test_client.cpp) mapping windows with the
// WM_CLASS, type, icon and pid it is told to. Tests of the X11 workspace
// start clients of every kind; the end-to-end runs start them from desktop
// entries, as every family does. SIGUSR1 makes a test client destroy its
// windows and keep running.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/desktops/desktop_session.h"

namespace korvane::testing {

struct ClientOptions {
    std::string instance = "korvane-test";
    std::string className = "KorvaneTest";
    std::string type{};          // "normal", "dialog", "dock", "desktop", "utility"; none by default
    bool withoutPID = false;     // no _NET_WM_PID: only the X-Resource extension knows it
    int claimPID = 0;            // writes this pid as _NET_WM_PID instead of its own
    int windows = 1;
    std::vector<std::pair<int, int>> iconSizes{};  // _NET_WM_ICON images
    Environment environment{};   // added to the session's
    // Runs it through "sh -c" with GIO_LAUNCHED_DESKTOP_FILE naming this entry
    // and GIO_LAUNCHED_DESKTOP_FILE_PID its own pid, as GLib launches do.
    std::string launchedFrom{};
};

class XSession;

class TestClient {
public:
    // Starts it and waits until its windows are mapped; check ready().
    TestClient(const XSession& session, const ClientOptions& options);

    bool ready() const { return !windows_.empty(); }
    pid_t pid() const { return program_->pid(); }
    const std::vector<std::uint32_t>& windows() const { return windows_; }
    StartedProgram& program() { return *program_; }
    std::unique_ptr<StartedProgram> takeProgram() { return std::move(program_); }

private:
    std::unique_ptr<StartedProgram> program_;
    std::vector<std::uint32_t> windows_;
};

class XSession final : public DesktopSession {
public:
    // Starts Xvfb and openbox and waits until openbox manages windows.
    // Nothing, with the reason in `why`, when either cannot be started.
    static std::unique_ptr<XSession> start(std::string& why);
    ~XSession() override;

    const std::string& display() const { return display_; }  // ":N"
    pid_t windowManagerPid() const { return windowManager_->pid(); }
    // Runs a program found on $PATH against this display and waits for it.
    CommandResult run(const std::vector<std::string>& argv) const;
    // Sets the root window's _NET_ACTIVE_WINDOW as a window manager would,
    // without asking the window manager: for the moments it passes through 0.
    bool setActiveWindow(std::uint32_t window) const;

    std::string windowClass(const TestApp& testApp) const override { return "Korvane" + testApp.name; }
    std::unique_ptr<StartedProgram> launch(const TestApp& testApp, const std::string& entryPath,
                                       std::string& why) override;
    bool activate(pid_t pid) override;
    bool activateAtOnce(pid_t pid) override { return setActiveWindow(windows_[pid]); }
    bool showNothing() override { return setActiveWindow(0); }
    Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) override;
    // DISPLAY for this server; no session bus, so clients start no stray one.
    Environment environment() const override;
    std::string log() const override { return {}; }
    // A PNG of the whole screen (ImageMagick's import).
    bool screenshot(const std::string& path) const override;

private:
    XSession() : DesktopSession(DesktopFamily::x11) {}

    std::string display_;
    std::unique_ptr<StartedProgram> server_;
    std::unique_ptr<StartedProgram> windowManager_;
    std::map<pid_t, std::uint32_t> windows_;  // of the applications launched from entries
};

}  // namespace korvane::testing
