// GNOME Shell, headless, as the desktop's user, with a stand-in system bus
// (the shell ends at start without one where /run/systemd/seats exists).
// Korvane's extension and a test-only one (gnome-test-extension: what a
// person at the desktop would do) are installed in the user's folder and
// switched on before the shell starts; settings live in a key file.
#include <filesystem>
#include <thread>

#include "platform/linux/gnome/gnome_workspace.h"
#include "tests/desktops/desktop_sessions.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTestUUID = "korvane-test@korvane.com";
constexpr const char* kTrayUUID = "ubuntu-appindicators@ubuntu.com";

class GnomeSession final : public WaylandSession {
public:
    explicit GnomeSession(std::string& why) : WaylandSession(DesktopFamily::gnome, /*asRoot=*/false, why) {
        if (!why.empty()) return;
        if (findProgram("gnome-shell").empty()) {
            why = "gnome-shell is not installed (scripts/install-deps.sh installs it)";
            return;
        }
        systemBus_ = std::make_unique<StartedProgram>(
            std::vector<std::string>{findProgram("dbus-daemon"), "--nofork",
                                     "--config-file=" KORVANE_DESKTOP_BUS_CONFIG,
                                     "--address=unix:path=" + runtime_ + "/system-bus"},
            Environment{}, "/dev/null");
        const std::string extensions = home_ + "/.local/share/gnome-shell/extensions/";
        install(KORVANE_GNOME_EXTENSION, extensions + linux_platform::GnomeWorkspace::kExtensionUUID);
        install(KORVANE_GNOME_TEST_EXTENSION, extensions + kTestUUID);
        handOver(home_ + "/.local");
        std::string enabled =
            std::string("['") + linux_platform::GnomeWorkspace::kExtensionUUID + "', '" + kTestUUID + "'";
        // The tray: Debian's AppIndicator extension hosts StatusNotifierItems.
        if (fs::exists(std::string("/usr/share/gnome-shell/extensions/") + kTrayUUID)) {
            enabled += std::string(", '") + kTrayUUID + "'";
        }
        run({"gsettings", "set", "org.gnome.shell", "enabled-extensions", enabled + "]"});
        handOver(home_ + "/.config");

        auto ready = [&] { return fs::exists(runtime_ + "/wayland-0") && shell("ListPids").exitStatus == 0; };
        if (!startCompositor({findProgram("gnome-shell"), "--headless", "--wayland", "--virtual-monitor", "1280x800"},
                             {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + runtime_ + "/system-bus"}}, ready, why)) {
            return;
        }
        waylandDisplay_ = "wayland-0";
        findXwayland(why);
    }

    // A shell still busy starting may let an activation pass: it is asked
    // again until the window has the focus.
    bool activate(pid_t pid) override {
        return waitUntil([&] {
            if (shell("FocusedPid").out == "(" + std::to_string(pid) + ",)\n") return true;
            shell("Activate", {std::to_string(pid)});
            std::this_thread::sleep_for(100ms);
            return false;
        }, 5s);
    }
    bool activateAtOnce(pid_t pid) override { return shell("Activate", {std::to_string(pid)}).exitStatus == 0; }
    bool showNothing() override { return shell("ShowNothing").exitStatus == 0; }

    Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) override {
        QDBusConnection bus = connectToBus();
        if (!bus.isConnected()) return unexpected(std::string("no connection to the private session bus"));
        return std::unique_ptr<app::Workspace>(std::make_unique<linux_platform::GnomeWorkspace>(
            loop, bus, linux_platform::GnomeWorkspaceConfig{.tracker = std::move(config), .limits = {}}, units));
    }

    Environment environment() const override {
        Environment environment = WaylandSession::environment();
        environment.emplace_back("GSETTINGS_BACKEND", "keyfile");
        return environment;
    }

    bool screenshot(const std::string& path) const override {
        std::string own = runtime_ + "/screenshot.png";
        bool done = shell("Screenshot", {own}).out.find("true") != std::string::npos;
        std::error_code error;
        fs::copy_file(own, path, fs::copy_options::overwrite_existing, error);
        return done && !error;
    }

    bool setExtensionEnabled(bool enabled) {
        return run({"gnome-extensions", enabled ? "enable" : "disable", linux_platform::GnomeWorkspace::kExtensionUUID})
                   .exitStatus == 0;
    }

private:
    void install(const std::string& from, const std::string& to) {
        fs::create_directories(to);
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    void handOver(const std::string& folder) {
        runCommand({findProgram("chown"), "-R", std::to_string(uid_) + ":" + std::to_string(gid_), folder});
    }

    CommandResult shell(const std::string& method, const std::vector<std::string>& args = {}) const {
        return call("com.korvane.TestShell", "/com/korvane/TestShell", "com.korvane.TestShell." + method, args);
    }

    std::set<pid_t> listedPids() override {
        std::string out = shell("ListPids").out;  // ('12,34',)
        auto open = out.find('\''), close = out.rfind('\'');
        if (open == std::string::npos || close <= open) return {};
        return pidsIn(out.substr(open + 1, close - open - 1));
    }

    std::unique_ptr<StartedProgram> systemBus_;
};

}  // namespace

std::unique_ptr<DesktopSession> startGnome(std::string& why) { return startedOrNothing<GnomeSession>(why); }

bool setGnomeExtensionEnabled(DesktopSession& gnome, bool enabled) {
    return static_cast<GnomeSession&>(gnome).setExtensionEnabled(enabled);
}

}  // namespace korvane::testing
