#pragma once
// One connection to the X server and what the workspace reads through it: the
// window manager's client list and active window on the root window, and the
// facts of each client window. Used from one thread at a time.
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/workspace/window_apps.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

// What the events read so far say must be read again.
struct DisplayChanges {
    bool clientList = false;
    bool activeWindow = false;
    std::set<std::uint32_t> windows;  // client windows whose facts changed
    bool any() const { return clientList || activeWindow || !windows.empty(); }
};

class X11Display {
public:
    // `name` as in $DISPLAY; empty means $DISPLAY itself.
    static Expected<std::unique_ptr<X11Display>, std::string> connect(const std::string& name);
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    int fileDescriptor() const;
    bool broken() const;
    // Any thread: ends the conversation, so that a wait for an answer ends
    // at once (as a broken connection).
    void cut();

    std::vector<std::uint32_t> clientList();
    // The active window; 0 when none, nothing when the property is missing.
    std::optional<std::uint32_t> activeWindow();
    // Facts of each window (the pids without a start time), in the given
    // order; asks for all of them before waiting for any answer. From now on
    // changes of these windows' properties arrive as events.
    std::vector<WindowFacts> readWindows(const std::vector<std::uint32_t>& windows);

    // Takes every event that has arrived, without waiting.
    void takeEvents(DisplayChanges& changes);

private:
    X11Display(xcb_connection_t* connection, int screen);
    // The pid of the process holding the window's connection, as the server
    // sees it; 0 for a remote client.
    pid_t connectionPID(xcb_res_query_client_ids_cookie_t cookie);
    bool isLocalMachine(const std::string& machine) const;

    xcb_connection_t* connection_;
    xcb_ewmh_connection_t ewmh_{};
    int screen_;
    xcb_window_t root_;
    bool haveResourceExtension_ = false;
    std::string hostName_;
};

}  // namespace korvane::linux_platform
