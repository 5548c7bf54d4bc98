#include "platform/linux/x11/x11_display.h"

#include <sys/socket.h>
#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

#include <climits>
#include <cstdlib>

#include "platform/linux/x11/wm_icon.h"

namespace korvane::linux_platform {
namespace {

// 4 MiB of icon data: more than any real window's set of sizes up to 256
// pixels, and a bound on what a careless window can make us copy.
constexpr std::uint32_t kIconWordLimit = 1U << 20;

template <class Reply>
struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

bool contains(const xcb_ewmh_get_atoms_reply_t& atoms, xcb_atom_t atom) {
    for (std::uint32_t i = 0; i < atoms.atoms_len; ++i) {
        if (atoms.atoms[i] == atom) return true;
    }
    return false;
}

}  // namespace

Expected<std::unique_ptr<X11Display>, std::string> X11Display::connect(const std::string& name) {
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(name.empty() ? nullptr : name.c_str(), &screen);
    if (int error = xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        const char* shown = name.empty() ? std::getenv("DISPLAY") : name.c_str();
        return unexpected("cannot connect to the X display \"" + std::string(shown ? shown : "") + "\" (error " +
                          std::to_string(error) + ")");
    }
    return std::unique_ptr<X11Display>(new X11Display(connection, screen));
}

X11Display::X11Display(xcb_connection_t* connection, int screen) : connection_(connection), screen_(screen) {
    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
    xcb_ewmh_init_atoms_replies(&ewmh_, cookies, nullptr);
    root_ = ewmh_.screens[screen_]->root;

    const xcb_query_extension_reply_t* res = xcb_get_extension_data(connection_, &xcb_res_id);
    if (res && res->present) {
        // Client ids are the extension's version 1.2.
        Freed<xcb_res_query_version_reply_t> version{
            xcb_res_query_version_reply(connection_, xcb_res_query_version(connection_, 1, 2), nullptr)};
        haveResourceExtension_ = version && (version->server_major > 1 ||
                                             (version->server_major == 1 && version->server_minor >= 2));
    }

    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0) hostName_ = host;

    std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

X11Display::~X11Display() {
    xcb_ewmh_connection_wipe(&ewmh_);
    xcb_disconnect(connection_);
}

int X11Display::fileDescriptor() const { return xcb_get_file_descriptor(connection_); }

bool X11Display::broken() const { return xcb_connection_has_error(connection_) != 0; }

void X11Display::cut() { ::shutdown(fileDescriptor(), SHUT_RDWR); }

std::vector<std::uint32_t> X11Display::clientList() {
    xcb_ewmh_get_windows_reply_t list{};
    if (!xcb_ewmh_get_client_list_reply(&ewmh_, xcb_ewmh_get_client_list(&ewmh_, screen_), &list, nullptr)) return {};
    std::vector<std::uint32_t> windows(list.windows, list.windows + list.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&list);
    return windows;
}

std::optional<std::uint32_t> X11Display::activeWindow() {
    xcb_window_t window = 0;
    if (!xcb_ewmh_get_active_window_reply(&ewmh_, xcb_ewmh_get_active_window(&ewmh_, screen_), &window, nullptr)) {
        return std::nullopt;
    }
    return window;
}

bool X11Display::isLocalMachine(const std::string& machine) const {
    return machine.empty() || machine == hostName_ || machine == "localhost";
}

std::vector<WindowFacts> X11Display::readWindows(const std::vector<std::uint32_t>& windows) {
    struct Cookies {
        xcb_get_property_cookie_t pid, wmClass, machine, type, state, icon;
        xcb_res_query_client_ids_cookie_t connection;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (std::uint32_t window : windows) {
        xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &mask);
        cookies.push_back({xcb_ewmh_get_wm_pid(&ewmh_, window), xcb_icccm_get_wm_class(connection_, window),
                           xcb_icccm_get_wm_client_machine(connection_, window),
                           xcb_ewmh_get_wm_window_type(&ewmh_, window), xcb_ewmh_get_wm_state(&ewmh_, window),
                           xcb_get_property(connection_, 0, window, ewmh_._NET_WM_ICON, XCB_ATOM_CARDINAL, 0,
                                            kIconWordLimit),
                           {}});
        if (haveResourceExtension_) {
            xcb_res_client_id_spec_t query{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            cookies.back().connection = xcb_res_query_client_ids(connection_, 1, &query);
        }
    }

    std::vector<WindowFacts> facts(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        WindowFacts& f = facts[i];
        const Cookies& c = cookies[i];
        f.window = windows[i];

        std::uint32_t pid = 0;
        bool hasPID = xcb_ewmh_get_wm_pid_reply(&ewmh_, c.pid, &pid, nullptr) && pid > 0 && pid <= INT_MAX;

        xcb_icccm_get_wm_class_reply_t wmClass{};
        if (xcb_icccm_get_wm_class_reply(connection_, c.wmClass, &wmClass, nullptr)) {
            if (wmClass.instance_name) f.instance = wmClass.instance_name;
            if (wmClass.class_name) f.className = wmClass.class_name;
            xcb_icccm_get_wm_class_reply_wipe(&wmClass);
        }

        // A window of a client on another machine names a pid of that
        // machine; here it would be a stranger's.
        xcb_icccm_get_text_property_reply_t machine{};
        if (xcb_icccm_get_wm_client_machine_reply(connection_, c.machine, &machine, nullptr)) {
            std::string host(machine.name, machine.name_len);
            host = host.substr(0, host.find('\0'));
            if (!isLocalMachine(host)) hasPID = false;
            xcb_icccm_get_text_property_reply_wipe(&machine);
        }
        if (hasPID) f.pid = static_cast<pid_t>(pid);
        if (haveResourceExtension_) f.connectionPid = connectionPID(c.connection);

        xcb_ewmh_get_atoms_reply_t types{};
        if (xcb_ewmh_get_wm_window_type_reply(&ewmh_, c.type, &types, nullptr)) {
            // The first type we know is the one the window means.
            for (std::uint32_t t = 0; t < types.atoms_len; ++t) {
                xcb_atom_t type = types.atoms[t];
                if (type == ewmh_._NET_WM_WINDOW_TYPE_DOCK || type == ewmh_._NET_WM_WINDOW_TYPE_DESKTOP) {
                    f.kind = WindowKind::excluded;
                } else if (type == ewmh_._NET_WM_WINDOW_TYPE_NORMAL || type == ewmh_._NET_WM_WINDOW_TYPE_DIALOG) {
                    f.kind = WindowKind::normal;
                } else if (type == ewmh_._NET_WM_WINDOW_TYPE_UTILITY || type == ewmh_._NET_WM_WINDOW_TYPE_TOOLBAR ||
                           type == ewmh_._NET_WM_WINDOW_TYPE_SPLASH || type == ewmh_._NET_WM_WINDOW_TYPE_MENU) {
                    f.kind = WindowKind::other;
                } else {
                    continue;
                }
                break;
            }
            xcb_ewmh_get_atoms_reply_wipe(&types);
        }

        xcb_ewmh_get_atoms_reply_t states{};
        if (xcb_ewmh_get_wm_state_reply(&ewmh_, c.state, &states, nullptr)) {
            f.skipTaskbar = contains(states, ewmh_._NET_WM_STATE_SKIP_TASKBAR);
            xcb_ewmh_get_atoms_reply_wipe(&states);
        }

        Freed<xcb_get_property_reply_t> icon{xcb_get_property_reply(connection_, c.icon, nullptr)};
        if (icon && icon->format == 32 && icon->type == XCB_ATOM_CARDINAL) {
            auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(icon.reply));
            auto count = static_cast<std::size_t>(xcb_get_property_value_length(icon.reply)) / 4;
            f.icon = chooseWindowIcon({words, count});
        }
    }

    xcb_flush(connection_);
    return facts;
}

pid_t X11Display::connectionPID(xcb_res_query_client_ids_cookie_t cookie) {
    Freed<xcb_res_query_client_ids_reply_t> reply{xcb_res_query_client_ids_reply(connection_, cookie, nullptr)};
    if (!reply) return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.reply); it.rem > 0; xcb_res_client_id_value_next(&it)) {
        // Each value names the client and what kind of id it carries.
        const auto& [client, length] = *it.data;
        (void)length;
        if (!(client.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)) continue;
        if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
        std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
        if (pid > 0 && pid <= INT_MAX) return static_cast<pid_t>(pid);
    }
    return 0;
}

void X11Display::takeEvents(DisplayChanges& changes) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        // Errors (a window that went away before we read it) need no answer:
        // the client list's next change tells the rest.
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (property->window == root_) {
                if (property->atom == ewmh_._NET_CLIENT_LIST) changes.clientList = true;
                if (property->atom == ewmh_._NET_ACTIVE_WINDOW) changes.activeWindow = true;
            } else if (property->atom == ewmh_._NET_WM_PID || property->atom == XCB_ATOM_WM_CLASS ||
                       property->atom == XCB_ATOM_WM_CLIENT_MACHINE || property->atom == ewmh_._NET_WM_WINDOW_TYPE ||
                       property->atom == ewmh_._NET_WM_STATE || property->atom == ewmh_._NET_WM_ICON) {
                changes.windows.insert(property->window);
            }
        }
        std::free(event);
    }
}

}  // namespace korvane::linux_platform
