#include "tests/desktops/wayland_session.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/fakes/target_process.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUser = "korvanedesk";

// The throwaway user the compositors run as, created on first use.
bool desktopUser(uid_t& uid, gid_t& gid, std::string& why) {
    if (!::getpwnam(kUser)) {
        runCommand({findProgram("useradd"), "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", kUser});
    }
    const passwd* user = ::getpwnam(kUser);
    if (!user) {
        why = std::string("could not create the user ") + kUser + " to run the compositor as";
        return false;
    }
    uid = user->pw_uid;
    gid = user->pw_gid;
    return true;
}

// Every process below `pid`.
std::vector<pid_t> descendantsOf(pid_t pid) {
    std::vector<pid_t> found = childrenOf(pid);
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (pid_t child : childrenOf(found[i])) found.push_back(child);
    }
    return found;
}

}  // namespace

WaylandSession::WaylandSession(DesktopFamily family, bool asRoot, std::string& why) : DesktopSession(family) {
    if (!asRoot && !desktopUser(uid_, gid_, why)) return;
    std::string pattern = (fs::temp_directory_path() / "korvane-desk-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        why = "no private runtime folder";
        return;
    }
    runtime_ = pattern;
    home_ = runtime_ + "/home";
    logPath_ = runtime_ + "/compositor.log";
    fs::create_directories(home_);
    for (const std::string& folder : {runtime_, home_}) {
        if (::chown(folder.c_str(), uid_, gid_) != 0) why = "could not hand " + folder + " to the desktop's user";
    }
    busAddress_ = "unix:path=" + runtime_ + "/bus";
    bus_ = std::make_unique<StartedProgram>(
        std::vector<std::string>{findProgram("dbus-daemon"), "--nofork", "--config-file=" KORVANE_DESKTOP_BUS_CONFIG,
                                 "--address=" + busAddress_},
        Environment{}, "/dev/null");
    if (!waitUntil([&] { return fs::exists(runtime_ + "/bus") || bus_->exited(); }) || bus_->exited()) {
        why = "the private session bus did not start";
    }
}

WaylandSession::~WaylandSession() {
    // Xwayland, swaybar and the like outlive their compositor: found first,
    // ended after it.
    std::vector<pid_t> left;
    if (compositor_ && !compositor_->exited()) {
        left = descendantsOf(compositor_->pid());
        compositor_->stop(SIGTERM);
    }
    for (pid_t pid : left) ::kill(pid, SIGKILL);
    compositor_.reset();
    bus_.reset();
    std::error_code ignored;
    if (!runtime_.empty()) fs::remove_all(runtime_, ignored);
}

bool WaylandSession::startCompositor(const std::vector<std::string>& argv, const Environment& extra,
                                     const std::function<bool()>& ready, std::string& why) {
    compositor_ = start(argv, extra, logPath_);
    if (waitUntil([&] { return compositor_->exited() || ready(); }, 20s) && !compositor_->exited()) return true;
    why = argv.front() + (compositor_->exited() ? " ended at start" : " was not ready within 20 s") +
          "; it printed:\n" + log();
    return false;
}

pid_t WaylandSession::descendantRunning(const std::string& program) const {
    for (pid_t pid : descendantsOf(compositorPid())) {
        auto words = commandLineOf(pid);
        if (!words.empty() && fs::path(words[0]).filename() == program) return pid;
    }
    return -1;
}

bool WaylandSession::findXwayland(std::string& why) {
    bool found = waitUntil([&] {
        pid_t xwayland = descendantRunning("Xwayland");
        if (xwayland < 0) return false;
        auto words = commandLineOf(xwayland);
        if (words.size() < 2) return false;
        x11Display_ = words[1];
        for (std::size_t i = 2; i + 1 < words.size(); ++i) {
            if (words[i] == "-auth") xauthority_ = words[i + 1];
        }
        return fs::exists("/tmp/.X11-unix/X" + x11Display_.substr(1));
    });
    if (!found) why = "the compositor started no Xwayland; it printed:\n" + log();
    return found;
}

std::vector<std::string> WaylandSession::asUser(const std::vector<std::string>& argv,
                                                const Environment& environment) const {
    std::vector<std::string> command;
    if (uid_ != 0) {
        command = {findProgram("setpriv"), "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                   "--clear-groups", "--"};
    }
    command.push_back("/usr/bin/env");
    command.push_back("-i");
    for (const auto& [name, value] : environment) command.push_back(name + "=" + value);
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

Environment WaylandSession::environment() const {
    Environment environment{{"PATH", "/usr/local/bin:/usr/bin:/bin"},
                            {"HOME", home_},
                            {"XDG_RUNTIME_DIR", runtime_},
                            {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                            {"LANG", "C.UTF-8"},
                            {"SHELL", "/bin/sh"}};
    if (!waylandDisplay_.empty()) environment.emplace_back("WAYLAND_DISPLAY", waylandDisplay_);
    if (!x11Display_.empty()) environment.emplace_back("DISPLAY", x11Display_);
    if (!xauthority_.empty()) environment.emplace_back("XAUTHORITY", xauthority_);
    return environment;
}

CommandResult WaylandSession::run(const std::vector<std::string>& argv) const {
    std::vector<std::string> command = argv;
    if (command[0].find('/') == std::string::npos) command[0] = findProgram(command[0]);
    return runCommand(asUser(command, environment()));
}

CommandResult WaylandSession::call(const std::string& destination, const std::string& path, const std::string& method,
                                   const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"gdbus", "call", "--session", "--dest", destination, "--object-path", path,
                                  "--method", method};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

std::unique_ptr<StartedProgram> WaylandSession::start(const std::vector<std::string>& argv, const Environment& extra,
                                                      const std::string& logPath) const {
    Environment environment = this->environment();
    environment.insert(environment.end(), extra.begin(), extra.end());
    return std::make_unique<StartedProgram>(asUser(argv, environment), Environment{}, logPath);
}

std::string WaylandSession::log() const { return readText(logPath_); }

std::set<pid_t> WaylandSession::pidsIn(const std::string& list) {
    std::set<pid_t> pids;
    std::istringstream items(list);
    for (std::string pid; std::getline(items, pid, ',');) {
        if (!pid.empty()) pids.insert(std::stoi(pid));
    }
    return pids;
}

QDBusConnection WaylandSession::connectToBus() const {
    static std::atomic<int> connections{0};
    return QDBusConnection::connectToBus(QString::fromStdString(busAddress_),
                                         QStringLiteral("korvane-desktop-%1").arg(++connections));
}

std::string WaylandSession::windowClass(const TestApp& testApp) const {
    switch (testApp.kind) {
        case ClientKind::qt: return testApp.id;
        case ClientKind::xwayland: return "Korvane" + testApp.name;
        case ClientKind::wayland: return "org.freedesktop.weston.wayland-terminal";
    }
    return {};
}

std::unique_ptr<StartedProgram> WaylandSession::launch(const TestApp& testApp, const std::string& entryPath,
                                                   std::string& why) {
    std::vector<std::string> program;
    Environment environment = this->environment();
    switch (testApp.kind) {
        case ClientKind::qt:
            program = {KORVANE_QT_WINDOW_CLIENT, testApp.id, testApp.name};
            environment.emplace_back("QT_QPA_PLATFORM", "wayland");
            break;
        case ClientKind::xwayland:
            program = {findProgram("xterm"), "-class", windowClass(testApp), "-T", testApp.name};
            break;
        case ClientKind::wayland: program = {findProgram("weston-terminal")}; break;
    }
    // As GLib launches from an entry: the entry's path, and the pid of the
    // process it started (which the shell hands to the program it becomes).
    environment.emplace_back("GIO_LAUNCHED_DESKTOP_FILE", entryPath);
    program.insert(program.begin(), {"/bin/sh", "-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec \"$0\" \"$@\""});
    auto started = std::make_unique<StartedProgram>(asUser(program, environment), Environment{},
                                                    runtime_ + "/" + testApp.name + ".log");
    // setpriv and env replace themselves, so the pid is the client's.
    const pid_t pid = started->pid();
    if (!waitUntil([&] { return started->exited() || listedPids().contains(pid); }) || started->exited()) {
        why = testApp.name + " (" + program[3] + ") did not show a window; it printed:\n" +
              readText(runtime_ + "/" + testApp.name + ".log") + "\nthe compositor printed:\n" + log();
        return nullptr;
    }
    return started;
}

}  // namespace korvane::testing
