// KWin, headless (--virtual) with Xwayland. /usr/bin/kwin_wayland carries a
// file capability these machines cannot grant, so a copy (which drops it)
// runs. Test-side windows are listed, activated and minimised by one-shot
// KWin scripts, whose print() lands in KWin's log.
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/kwin/kwin_workspace.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/x11/x_session.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWindows = "workspace.windowList ? workspace.windowList() : workspace.clientList()";

class KWinSession final : public WaylandSession {
public:
    explicit KWinSession(std::string& why) : WaylandSession(DesktopFamily::kwin, /*asRoot=*/true, why) {
        if (!why.empty()) return;
        binary_ = runtime_ + "/kwin_wayland";
        std::error_code error;
        fs::copy_file(findProgram("kwin_wayland"), binary_, error);
        if (error) {
            why = "kwin_wayland is not installed (scripts/install-deps.sh installs it)";
            return;
        }
        start(why);
    }

    // KWin ends and another takes org.kde.KWin, as when KWin crashes and
    // its wrapper starts it again. Its clients end with it.
    bool replace(std::string& why) {
        compositor_->stop(SIGKILL);
        waylandDisplay_.clear();
        x11Display_.clear();
        return start(why);
    }

    bool activate(pid_t pid) override {
        return script("var list = " + std::string(kWindows) + ";\nfor (var i = 0; i < list.length; ++i) {\n" +
                      "  if (list[i].pid == " + std::to_string(pid) + ") {\n" +
                      "    if (workspace.activeWindow !== undefined) workspace.activeWindow = list[i];\n" +
                      "    else workspace.activeClient = list[i];\n  }\n}\n");
    }

    bool showNothing() override {
        return script("var list = " + std::string(kWindows) +
                      ";\nfor (var i = 0; i < list.length; ++i) list[i].minimized = true;\n");
    }

    Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) override {
        QDBusConnection bus = connectToBus();
        if (!bus.isConnected()) return unexpected(std::string("no connection to the private session bus"));
        linux_platform::KWinWorkspaceConfig kwin{
            .scriptPath = KORVANE_KWIN_SCRIPT, .tracker = std::move(config), .limits = {}};
        return std::unique_ptr<app::Workspace>(
            std::make_unique<linux_platform::KWinWorkspace>(loop, bus, std::move(kwin), units));
    }

    bool screenshot(const std::string&) const override { return false; }

    // Loads `source` as a one-shot script, runs it and unloads it.
    bool script(const std::string& source) {
        const std::string name = "korvane-test-" + std::to_string(++scripts_);
        const std::string path = runtime_ + "/" + name + ".js";
        std::ofstream(path) << source;
        auto loaded = call("/Scripting", "org.kde.kwin.Scripting.loadScript", {path, name});
        int id = -1;
        if (loaded.exitStatus != 0 || std::sscanf(loaded.out.c_str(), "(%d,)", &id) != 1 || id < 0) return false;
        bool ran = call("/" + std::to_string(id), "org.kde.kwin.Script.run", {}).exitStatus == 0;
        call("/Scripting", "org.kde.kwin.Scripting.unloadScript", {name});
        return ran;
    }

private:
    bool start(std::string& why) {
        const std::string socket = "wayland-korvane";
        auto ready = [&] {
            return fs::exists(runtime_ + "/" + socket) &&
                   call("/Scripting", "org.freedesktop.DBus.Peer.Ping", {}).exitStatus == 0;
        };
        if (!startCompositor({binary_, "--virtual", "--width", "1280", "--height", "800", "--xwayland", "--socket",
                              socket, "--no-lockscreen"},
                             {{"KWIN_COMPOSE", "Q"}, {"QT_LOGGING_RULES", "kwin_scripting=true"}}, ready, why)) {
            return false;
        }
        waylandDisplay_ = socket;
        return findXwayland(why);
    }

    CommandResult call(const std::string& path, const std::string& method, const std::vector<std::string>& args) {
        std::vector<std::string> argv{"gdbus", "call", "--session", "--dest", "org.kde.KWin", "--object-path", path,
                                      "--method", method};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv);
    }

    std::set<pid_t> listedPids() override {
        const std::string mark = "korvane-pids-" + std::to_string(scripts_ + 1) + ":";
        script("var list = " + std::string(kWindows) + ";\nvar pids = [];\n" +
               "for (var i = 0; i < list.length; ++i) pids.push(list[i].pid);\n" +
               "print(\"" + mark + "\" + pids.join(\",\"));\n");
        std::string text = log();
        auto at = text.rfind(mark);
        if (at == std::string::npos) return {};
        return pidsIn(text.substr(at + mark.size(), text.find('\n', at) - at - mark.size()));
    }

    std::string binary_;
    int scripts_ = 0;
};

}  // namespace

std::unique_ptr<DesktopSession> startKWin(std::string& why) {
    auto session = std::make_unique<KWinSession>(why);
    if (!why.empty()) return nullptr;
    return session;
}

bool replaceKWin(DesktopSession& session, std::string& why) {
    return static_cast<KWinSession&>(session).replace(why);
}

}  // namespace korvane::testing
