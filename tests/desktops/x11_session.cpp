#include "tests/desktops/x11_session.h"

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/x11/x11_workspace.h"

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

}  // namespace

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
    // openbox announces itself on the root window before it manages
    // anything, and a window mapped in between stays unmanaged for good: each
    // try maps a new probe until one shows up in its client list.
    auto manages = [&] {
        TestClient probe(*session, {});
        char id[16];
        std::snprintf(id, sizeof id, "0x%x", probe.ready() ? probe.windows().front() : 0u);
        return probe.ready() && waitUntil([&] {
            return session->run({"xprop", "-root", "_NET_CLIENT_LIST"}).out.find(id) != std::string::npos;
        }, 500ms);
    };
    if (!waitUntil(manages, 20s)) {
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
    const std::string readyFile = (std::filesystem::temp_directory_path() /
                                   ("korvane-x11-client-" + std::to_string(::getpid()) + "-" +
                                    std::to_string(counter++)))
                                      .string();
    std::filesystem::remove(readyFile);

    std::vector<std::string> argv{KORVANE_X11_TEST_CLIENT, "--ready", readyFile, "--class",
                                  options.instance + "," + options.className, "--windows",
                                  std::to_string(options.windows)};
    if (!options.type.empty()) argv.insert(argv.end(), {"--type", options.type});
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
    waitUntil([&] { return std::filesystem::exists(readyFile) || program_->exited(); });
    std::ifstream ids(readyFile);
    for (std::uint32_t id; ids >> id;) windows_.push_back(id);
    std::filesystem::remove(readyFile);
}

std::unique_ptr<StartedProgram> XSession::launch(const TestApp& testApp, const std::string& entryPath,
                                                 std::string& why) {
    auto client = std::make_unique<TestClient>(
        *this, ClientOptions{.instance = testApp.name, .className = windowClass(testApp), .type = "normal",
                             .launchedFrom = entryPath});
    if (!client->ready()) {
        why = testApp.name + ": the X11 test client did not map its window";
        return nullptr;
    }
    windows_[client->pid()] = client->windows().front();
    return client->takeProgram();
}

bool XSession::activate(pid_t pid) {
    return run({"xdotool", "windowactivate", "--sync", std::to_string(windows_[pid])}).exitStatus == 0;
}

bool XSession::setActiveWindow(std::uint32_t window) const {
    xcb_connection_t* connection = xcb_connect(display_.c_str(), nullptr);
    bool done = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        auto* active = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr);
        xcb_void_cookie_t cookie = xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root,
                                                               active ? active->atom : xcb_atom_t{XCB_ATOM_NONE},
                                                               XCB_ATOM_WINDOW, 32, 1, &window);
        std::free(active);
        xcb_generic_error_t* error = xcb_request_check(connection, cookie);
        done = error == nullptr;
        std::free(error);
    }
    xcb_disconnect(connection);
    return done;
}

Expected<std::unique_ptr<app::Workspace>, std::string> XSession::openWorkspace(
    MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) {
    auto opened = linux_platform::X11Workspace::open(loop,
                                                     {.display = display_,
                                                      .identity = std::move(config.identity),
                                                      .locale = std::move(config.locale),
                                                      .desktop = std::move(config.desktop),
                                                      .ownPid = config.ownPid},
                                                     units);
    if (!opened) return unexpected(opened.error());
    return std::unique_ptr<app::Workspace>(std::move(opened).value());
}

}  // namespace korvane::testing
