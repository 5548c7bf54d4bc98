#include "tests/x11/x_session.h"

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/linux/identity/executable_search.h"

namespace korvane::testing {
namespace {

// The pid in an X server's lock file for display `number`, or -1.
pid_t lockOwner(const std::string& number) {
    std::ifstream lock("/tmp/.X" + number + "-lock");
    long pid = -1;
    if (!(lock >> pid)) return -1;
    return static_cast<pid_t>(pid);
}

// Whether an X server answers on `display`.
bool serverAnswers(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Whether a window manager manages new windows: a probe window shows up in
// its client list. openbox announces itself on the root window before it
// manages anything, and a window mapped in between stays unmanaged for good,
// so each try maps a new probe.
bool windowManagerManages(const std::string& display, std::chrono::milliseconds limit) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    bool managed = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_atom_t clientList = atomNamed(connection, "_NET_CLIENT_LIST");
        xcb_window_t probe = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection, probe);
        xcb_flush(connection);
        managed = waitUntil(
            [&] {
                xcb_get_property_reply_t* reply = xcb_get_property_reply(
                    connection, xcb_get_property(connection, 0, screen->root, clientList, XCB_ATOM_WINDOW, 0, 4096),
                    nullptr);
                bool listed = false;
                if (reply) {
                    auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
                    int count = xcb_get_property_value_length(reply) / 4;
                    listed = std::find(windows, windows + count, probe) != windows + count;
                }
                std::free(reply);
                return listed;
            },
            limit);
        xcb_destroy_window(connection, probe);
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return managed;
}

std::vector<std::uint32_t> readWindowIDs(const std::string& path) {
    std::vector<std::uint32_t> ids;
    std::ifstream file(path);
    for (unsigned long id; file >> id;) ids.push_back(static_cast<std::uint32_t>(id));
    return ids;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string findProgram(const std::string& name) {
    identity::ExecutableSearch search(identity::ExecutableSearch::foldersFromEnvironment());
    return search.resolve(name).value_or("");
}

std::unique_ptr<XSession> XSession::start(std::string& why) {
    std::string xvfb = findProgram("Xvfb");
    std::string manager = findProgram("openbox");
    if (xvfb.empty() || manager.empty()) {
        why = "Xvfb or openbox is not installed (scripts/install-deps.sh installs them)";
        return nullptr;
    }
    // Xvfb's own choice of a number (-displayfd) takes no lock file, so two
    // programs starting at once could pick the same one. We pick it and Xvfb
    // takes the lock, or ends when another server holds it.
    std::unique_ptr<XSession> session(new XSession);
    std::string number;
    // Below the numbers scripts/virtual-desktop.sh starts from.
    const int first = 100 + static_cast<int>(::getpid() % 400);
    for (int attempt = 0; attempt < 40 && number.empty(); ++attempt) {
        std::string name = std::to_string(first + attempt);
        if (std::filesystem::exists("/tmp/.X" + name + "-lock") || std::filesystem::exists("/tmp/.X11-unix/X" + name)) {
            continue;
        }
        session->server_ = std::make_unique<StartedProgram>(
            std::vector<std::string>{xvfb, ":" + name, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
            Environment{}, "/dev/null");
        bool up = waitUntil([&] { return session->server_->exited() || serverAnswers(":" + name); }, 20s);
        // The server that answers may be another one that won the lock while
        // ours is still on its way out: the lock file names the owner.
        if (up && !session->server_->exited() && lockOwner(name) == session->server_->pid()) number = name;
    }
    if (number.empty()) {
        why = "Xvfb did not start";
        return nullptr;
    }
    session->display_ = ":" + number;
    session->windowManager_ = std::make_unique<StartedProgram>(std::vector<std::string>{manager},
                                                               session->environment(), "/dev/null");
    bool managing = false;
    for (auto deadline = std::chrono::steady_clock::now() + 20s; !managing && std::chrono::steady_clock::now() < deadline;) {
        managing = windowManagerManages(session->display_, 500ms);
    }
    if (!managing) {
        why = "openbox did not take over the display " + session->display_;
        if (session->server_->exited()) why += " (Xvfb ended with status " + std::to_string(session->server_->stop(0)) + ")";
        return nullptr;
    }
    return session;
}

XSession::~XSession() {
    // The window manager first, so it does not see its server vanish; the
    // server asked to end, so it removes its lock file and socket (a killed
    // one leaves them, and they would use up display numbers).
    if (windowManager_) windowManager_->stop(SIGTERM);
    if (server_ && server_->stop(SIGTERM) < 0) server_.reset();
    windowManager_.reset();
    server_.reset();
}

Environment XSession::environment() const {
    return {{"DISPLAY", display_}, {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}};
}

CommandResult XSession::run(const std::vector<std::string>& argv) const {
    std::vector<std::string> command = argv;
    if (!command.empty() && command[0].find('/') == std::string::npos) command[0] = findProgram(command[0]);
    if (command.empty() || command[0].empty()) return {};
    return runCommand(command, environment());
}

bool XSession::screenshot(const std::string& path) const {
    return run({"import", "-window", "root", path}).exitStatus == 0;
}

TestClient::TestClient(const XSession& session, const ClientOptions& options) {
    static std::atomic<int> counter{0};
    readyFile_ = (std::filesystem::temp_directory_path() /
                  ("korvane-x11-client-" + std::to_string(::getpid()) + "-" + std::to_string(counter++)))
                     .string();
    std::filesystem::remove(readyFile_);

    std::vector<std::string> argv{KORVANE_X11_TEST_CLIENT, "--ready", readyFile_, "--class",
                                  options.instance + "," + options.className, "--windows",
                                  std::to_string(options.windows)};
    if (!options.type.empty()) argv.insert(argv.end(), {"--type", options.type});
    if (options.skipTaskbar) argv.push_back("--skip-taskbar");
    if (options.withoutPID) argv.push_back("--no-pid");
    if (options.claimPID > 0) argv.insert(argv.end(), {"--claim-pid", std::to_string(options.claimPID)});
    for (auto [width, height] : options.iconSizes) {
        argv.insert(argv.end(), {"--icon", std::to_string(width) + "x" + std::to_string(height)});
    }
    Environment environment = session.environment();
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    if (!options.launchedFrom.empty()) {
        environment.emplace_back("GIO_LAUNCHED_DESKTOP_FILE", options.launchedFrom);
        argv.insert(argv.begin(), {"/bin/sh", "-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec \"$0\" \"$@\""});
    }
    program_ = std::make_unique<StartedProgram>(argv, environment);
    waitUntil([&] { return std::filesystem::exists(readyFile_) || program_->exited(); });
    windows_ = readWindowIDs(readyFile_);
    std::filesystem::remove(readyFile_);
}

void TestClient::closeWindows() {
    if (!program_->exited()) ::kill(program_->pid(), SIGUSR1);
}

bool setActiveWindowProperty(const XSession& session, std::uint32_t window) {
    xcb_connection_t* connection = xcb_connect(session.display().c_str(), nullptr);
    bool done = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        xcb_atom_t active = atomNamed(connection, "_NET_ACTIVE_WINDOW");
        xcb_void_cookie_t cookie = xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root, active,
                                                               XCB_ATOM_WINDOW, 32, 1, &window);
        xcb_generic_error_t* error = xcb_request_check(connection, cookie);
        done = error == nullptr;
        std::free(error);
    }
    xcb_disconnect(connection);
    return done;
}

}  // namespace korvane::testing
