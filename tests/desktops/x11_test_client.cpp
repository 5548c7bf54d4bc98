// A tiny X client for the workspace's tests and benchmark: maps windows with
// the WM_CLASS, window type, icon and pid it is told, writes their ids
// to a file once they are mapped, and lives until it is killed.
//   --ready FILE         where the window ids go, one per line
//   --class INST,CLASS   WM_CLASS
//   --windows N          how many windows
//   --type T             normal, dialog, dock, desktop or utility
//   --no-pid             no _NET_WM_PID
//   --claim-pid P        _NET_WM_PID names P instead of this process
//   --icon WxH           one _NET_WM_ICON image (repeatable)
// SIGUSR1 destroys the windows; the process stays.
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t closeRequested = 0;

xcb_atom_t atomNamed(xcb_connection_t* c, const std::string& name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.c_str()), nullptr);
    xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

}  // namespace

int main(int argc, char** argv) {
    std::string ready, instance = "korvane-test", className = "KorvaneTest", type;
    int windows = 1;
    bool withPID = true;
    long claimedPID = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> icons;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (option == "--ready") ready = value();
        else if (option == "--class") {
            std::string both = value();
            auto comma = both.find(',');
            instance = both.substr(0, comma);
            className = comma == std::string::npos ? both : both.substr(comma + 1);
        } else if (option == "--windows") windows = std::atoi(value().c_str());
        else if (option == "--type") type = value();
        else if (option == "--no-pid") withPID = false;
        else if (option == "--claim-pid") claimedPID = std::atol(value().c_str());
        else if (option == "--icon") {
            unsigned w = 0, h = 0;
            if (std::sscanf(value().c_str(), "%ux%u", &w, &h) == 2) icons.emplace_back(w, h);
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    struct sigaction onClose {};
    onClose.sa_handler = [](int) { closeRequested = 1; };
    ::sigaction(SIGUSR1, &onClose, nullptr);

    std::string wmClass = instance + '\0' + className + '\0';
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    std::vector<std::uint32_t> iconData;
    for (auto [w, h] : icons) {
        iconData.push_back(w);
        iconData.push_back(h);
        // Each size its own colour, so a test can tell which one was taken.
        iconData.insert(iconData.end(), std::size_t{w} * h, 0xff000000U | (w * 0x010203U));
    }
    std::uint32_t pid = static_cast<std::uint32_t>(claimedPID > 0 ? claimedPID : ::getpid());

    std::vector<xcb_window_t> ids;
    for (int n = 0; n < windows; ++n) {
        xcb_window_t w = xcb_generate_id(c);
        std::uint32_t values[] = {0xff336699U - static_cast<std::uint32_t>(n) * 0x112200U};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 40 + 60 * n, 40 + 40 * n, 240, 120, 1,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_icccm_set_wm_class(c, w, static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
        std::string title = className + " " + std::to_string(n + 1);
        xcb_icccm_set_wm_name(c, w, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()), title.c_str());
        xcb_icccm_set_wm_client_machine(c, w, XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(std::strlen(host)), host);
        xcb_icccm_wm_hints_t hints{};
        xcb_icccm_wm_hints_set_input(&hints, 1);
        xcb_icccm_wm_hints_set_normal(&hints);
        xcb_icccm_set_wm_hints(c, w, &hints);
        if (withPID) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atomNamed(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                                &pid);
        }
        if (!type.empty()) {
            std::string upper;
            for (char ch : type) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            xcb_atom_t kind = atomNamed(c, "_NET_WM_WINDOW_TYPE_" + upper);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atomNamed(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                                &kind);
        }
        if (!iconData.empty()) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atomNamed(c, "_NET_WM_ICON"), XCB_ATOM_CARDINAL, 32,
                                static_cast<std::uint32_t>(iconData.size()), iconData.data());
        }
        xcb_map_window(c, w);
        ids.push_back(w);
    }
    // A round trip: the server has done everything asked before the file
    // tells the test so.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    if (!ready.empty()) {
        std::string partial = ready + ".partial";
        if (FILE* file = std::fopen(partial.c_str(), "w")) {
            for (auto id : ids) std::fprintf(file, "%u\n", id);
            std::fclose(file);
            std::rename(partial.c_str(), ready.c_str());
        }
    }

    while (!xcb_connection_has_error(c)) {
        pollfd connection{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&connection, 1, 50);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
        if (closeRequested && !ids.empty()) {
            for (auto id : ids) xcb_destroy_window(c, id);
            ids.clear();
            xcb_flush(c);
        }
    }
    xcb_disconnect(c);
    return 0;
}
