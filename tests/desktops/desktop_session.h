#pragma once
// One private desktop of any family Korvane follows, for tests and
// benchmarks: X11 (Xvfb with openbox), sway, KWin and GNOME Shell, the last
// three headless. Each starts the same kinds of real clients from desktop
// entries, brings them to the front, and opens the workspace Korvane would
// open on it, so the end-to-end tests run their scenarios once per family.
// Everything started is ended when the session ends; every wait is bounded.
// A compositor that cannot start is a failure with what it printed.
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/focus/workspace.h"
#include "platform/linux/workspace/window_tracker.h"
#include "shared/mainloop/main_loop.h"
#include "shared/util/expected.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::testing {

using namespace std::chrono_literals;

// Desktops take their time: every wait on one is bounded at 10 s unless
// told otherwise.
inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    return eventually(condition, limit);
}

// The full path of a program found on $PATH (or the usual system folders), or
// empty.
std::string findProgram(const std::string& name);

// What a workspace is told about the machine in these tests: desktop entries
// only from `tree`'s share/applications (and a data home below tree's home/
// that stays empty), German names where entries have them.
linux_platform::TrackerConfig privateTrackerConfig(const FixtureTree& tree);

enum class DesktopFamily { x11, sway, kwin, gnome };
const char* familyName(DesktopFamily family);

// A test application. On the Wayland desktops: a Qt program on Wayland
// (its app_id names its entry), an xterm on Xwayland (its class does), or
// weston-terminal (its own app_id, which the entry's StartupWMClass names).
// On X11 every kind is the X11 test client.
enum class ClientKind { qt, xwayland, wayland };

struct TestApp {
    std::string id;  // the desktop-file ID of its entry
    std::string name;
    ClientKind kind;
};

class DesktopSession {
public:
    // Nothing, with what went wrong in `why`, when the desktop cannot start.
    // `withPanel`: KWin with Plasma's panel and its tray, slow to start
    // (sway's bar and GNOME's top bar with its AppIndicator tray are always
    // there).
    static std::unique_ptr<DesktopSession> start(DesktopFamily family, std::string& why, bool withPanel = false);
    virtual ~DesktopSession() = default;

    DesktopFamily family() const { return family_; }

    // The StartupWMClass that names `testApp`'s windows in its entry.
    virtual std::string windowClass(const TestApp& testApp) const = 0;
    // Starts `testApp` as GLib starts it from `entryPath` and waits until the
    // desktop lists a window of it. It ends with its handle.
    virtual std::unique_ptr<StartedProgram> launch(const TestApp& testApp, const std::string& entryPath,
                                               std::string& why) = 0;
    // Brings the process's window to the front, as a click would.
    virtual bool activate(pid_t pid) = 0;
    // The quickest change of the front the desktop offers (X11: the root
    // window's property, without the window manager).
    virtual bool activateAtOnce(pid_t pid) { return activate(pid); }
    // Leaves no window in front (an empty workspace, all minimised).
    virtual bool showNothing() = 0;

    // The workspace Korvane opens on this desktop, on `loop`'s thread.
    virtual Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) = 0;

    // Where Korvane itself would run on this desktop.
    virtual Environment environment() const = 0;
    // What the compositor (or X server) printed so far.
    virtual std::string log() const = 0;
    // A PNG of the screen; whether it worked.
    virtual bool screenshot(const std::string& path) const = 0;

protected:
    explicit DesktopSession(DesktopFamily family) : family_(family) {}

private:
    DesktopFamily family_;
};

}  // namespace korvane::testing
