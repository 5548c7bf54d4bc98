#pragma once
// A private X desktop for tests and benchmarks: Xvfb on a display number the
// server picks itself, with a real window manager on it, and small X clients
// started against it. Everything started is killed when its owner ends, also
// when a test fails half-way; every wait is bounded.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/started_program.h"

namespace korvane::testing {

using namespace std::chrono_literals;

// Checks `condition` every 10 ms until it holds or `limit` has passed.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

// The full path of a program found on $PATH (or the usual system folders), or
// empty.
std::string findProgram(const std::string& name);

class XSession {
public:
    // Starts Xvfb and openbox and waits until openbox manages windows.
    // Nothing, with the reason in `why`, when either cannot be started.
    static std::unique_ptr<XSession> start(std::string& why);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    const std::string& display() const { return display_; }  // ":N"
    pid_t windowManagerPid() const { return windowManager_->pid(); }
    // DISPLAY for this server; no session bus, so clients start no stray one.
    Environment environment() const;
    // Runs a program found on $PATH against this display and waits for it.
    CommandResult run(const std::vector<std::string>& argv) const;
    // A PNG of the whole screen (needs ImageMagick's import); whether it worked.
    bool screenshot(const std::string& path) const;

private:
    XSession() = default;

    std::string display_;
    std::unique_ptr<StartedProgram> server_;
    std::unique_ptr<StartedProgram> windowManager_;
};

// The test client program: one process mapping windows with the WM_CLASS,
// type, state, icon and pid it is told to. See x11_test_client.cpp for its
// options.
struct ClientOptions {
    std::string instance = "korvane-test";
    std::string className = "KorvaneTest";
    std::string type;           // "normal", "dialog", "dock", "desktop", "utility"; none by default
    bool skipTaskbar = false;
    bool withoutPID = false;    // no _NET_WM_PID: only the X-Resource extension knows it
    int claimPID = 0;           // writes this pid as _NET_WM_PID instead of its own
    int windows = 1;
    std::vector<std::pair<int, int>> iconSizes;  // _NET_WM_ICON images
    Environment environment;    // added to the session's
    // Runs it through "sh -c" with GIO_LAUNCHED_DESKTOP_FILE naming this entry
    // and GIO_LAUNCHED_DESKTOP_FILE_PID its own pid, as GLib launches do.
    std::string launchedFrom;

    static ClientOptions named(std::string instance, std::string className) {
        ClientOptions options;
        options.instance = std::move(instance);
        options.className = std::move(className);
        return options;
    }
    ClientOptions& ofType(std::string value) { return type = std::move(value), *this; }
    ClientOptions& outsideTaskbar() { return skipTaskbar = true, *this; }
    ClientOptions& hidingPID() { return withoutPID = true, *this; }
    ClientOptions& claiming(int pid) { return claimPID = pid, *this; }
    ClientOptions& windowCount(int count) { return windows = count, *this; }
    ClientOptions& icons(std::vector<std::pair<int, int>> sizes) { return iconSizes = std::move(sizes), *this; }
    ClientOptions& launchedBy(std::string entryPath) { return launchedFrom = std::move(entryPath), *this; }
};

class TestClient {
public:
    // Starts it and waits until its windows are mapped; check ready().
    TestClient(const XSession& session, const ClientOptions& options);

    bool ready() const { return !windows_.empty(); }
    pid_t pid() const { return program_->pid(); }
    const std::vector<std::uint32_t>& windows() const { return windows_; }
    // Destroys its windows but keeps running.
    void closeWindows();
    StartedProgram& program() { return *program_; }

private:
    std::string readyFile_;
    std::unique_ptr<StartedProgram> program_;
    std::vector<std::uint32_t> windows_;
};

// Sets the root window's _NET_ACTIVE_WINDOW as a window manager would, without
// asking the window manager: for the moments it passes through 0.
bool setActiveWindowProperty(const XSession& session, std::uint32_t window);

}  // namespace korvane::testing
