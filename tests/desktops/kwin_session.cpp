// KWin, headless (--virtual) with Xwayland, under kwin_wayland_wrapper as a
// Plasma session runs it: the wrapper holds the Wayland and X11 sockets and
// starts KWin again when `kwin_wayland --replace` asks the running one to
// go. /usr/bin/kwin_wayland carries a file capability these machines cannot
// grant, so the wrapper finds a copy (which drops it) first on its PATH.
// Test-side windows are listed, activated and minimised by one-shot KWin
// scripts, whose print() lands in KWin's log. With its panel, Plasma's shell
// runs on it too (kded's StatusNotifierWatcher and plasmashell's tray), and
// KWin composites with OpenGL so that its screenshot interface works.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QImage>
#include <QVariantMap>
#include <filesystem>
#include <fstream>

#include "platform/linux/kwin/kwin_workspace.h"
#include "tests/desktops/desktop_sessions.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWindows = "workspace.windowList ? workspace.windowList() : workspace.clientList()";

class KWinSession final : public WaylandSession {
public:
    KWinSession(bool withPanel, std::string& why)
        : WaylandSession(DesktopFamily::kwin, /*asRoot=*/true, why), withPanel_(withPanel) {
        if (!why.empty()) return;
        std::error_code error;
        fs::copy_file(findProgram("kwin_wayland"), runtime_ + "/kwin_wayland", error);
        if (error || findProgram("kwin_wayland_wrapper").empty()) {
            why = "kwin_wayland is not installed (scripts/install-deps.sh installs it)";
            return;
        }
        Environment extra{{"PATH", runtime_ + ":/usr/local/bin:/usr/bin:/bin"},
                          {"QT_LOGGING_RULES", "kwin_scripting=true"}};
        if (withPanel_) extra.emplace_back("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS", "1");
        else extra.emplace_back("KWIN_COMPOSE", "Q");  // a third of the memory; no screenshots
        if (!startCompositor({findProgram("kwin_wayland_wrapper"), "--virtual", "--width", "1280", "--height", "800",
                              "--xwayland", "--no-lockscreen"},
                             extra, [&] { return kwinAnswers(); }, why)) {
            return;
        }
        waylandDisplay_ = "wayland-0";  // the wrapper's first free name in the private runtime folder
        if (findXwayland(why) && withPanel_) startPanel(why);
    }

    // What a user's `kwin_wayland --replace` does: it asks the running KWin
    // to end (/KWin replace), and the wrapper starts another, which takes
    // org.kde.KWin. Its clients end with the old one. The request is made
    // here as the tool makes it, but waiting for the answer: the tool exits
    // so soon after sending it that it is now and then lost.
    // A crash (`crash`) is SIGKILL: the wrapper starts KWin again the same way.
    bool replace(bool crash, std::string& why, const std::function<void()>& whileAway) {
        const pid_t old = descendantRunning("kwin_wayland");
        if (crash) {
            ::kill(old, SIGKILL);
        } else if (auto asked = kwin("/KWin", "org.kde.KWin.replace"); asked.exitStatus != 0) {
            why = "KWin did not take the request to be replaced: " + asked.err;
            return false;
        }
        waitUntil([&] { return descendantRunning("kwin_wayland") != old; });
        if (whileAway) whileAway();
        if (!waitUntil([&] {
                const pid_t now = descendantRunning("kwin_wayland");
                return now > 0 && now != old && kwinAnswers();
            }, 20s)) {
            why = "no new KWin answered within 20 s; it printed:\n" + log();
            return false;
        }
        return findXwayland(why);
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

    // KWin writes the picture's raw pixels into a pipe.
    bool screenshot(const std::string& path) const override {
        if (!withPanel_) return false;
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return false;
        QDBusUnixFileDescriptor writeEnd(pipe[1]);
        ::close(pipe[1]);
        auto capture = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"),
                                                   QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                                   QStringLiteral("org.kde.KWin.ScreenShot2"),
                                                   QStringLiteral("CaptureWorkspace"));
        capture << QVariantMap{} << QVariant::fromValue(writeEnd);
        QDBusMessage reply = connectToBus().call(capture, QDBus::Block, 10000);
        // The pipe ends when every copy of its writing end is closed.
        capture = QDBusMessage();
        writeEnd = QDBusUnixFileDescriptor();
        QByteArray pixels;
        char buffer[65536];
        for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;) pixels.append(buffer, got);
        ::close(pipe[0]);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
        const QVariantMap facts = qdbus_cast<QVariantMap>(reply.arguments().front());
        const int width = facts.value(QStringLiteral("width")).toInt();
        const int height = facts.value(QStringLiteral("height")).toInt();
        const int stride = facts.value(QStringLiteral("stride")).toInt();
        const auto format = static_cast<QImage::Format>(facts.value(QStringLiteral("format")).toInt());
        if (width <= 0 || height <= 0 || pixels.size() < qsizetype(stride) * height) return false;
        QImage image(reinterpret_cast<const uchar*>(pixels.constData()), width, height, stride, format);
        return image.save(QString::fromStdString(path), "PNG");
    }

    // Loads `source` as a one-shot script, runs it and unloads it. KWin
    // numbers a script by how many it holds, so after Korvane's script
    // loaded between two of these, each new one gets the number, and D-Bus
    // path, of Korvane's, and `run` there never reaches it. So each script
    // ends by printing its own mark, and one that stays silent is started
    // the way Korvane starts its own then: Scripting.start.
    bool script(const std::string& source) {
        const std::string name = "korvane-test-" + std::to_string(++scripts_);
        const std::string path = runtime_ + "/" + name + ".js";
        const std::string done = name + ":done";
        std::ofstream(path) << source << "print(\"" << done << "\");\n";
        auto loaded = kwin("/Scripting", "org.kde.kwin.Scripting.loadScript", {path, name});
        int id = -1;
        if (loaded.exitStatus != 0 || std::sscanf(loaded.out.c_str(), "(%d,)", &id) != 1 || id < 0) return false;
        auto ran = [&] { return log().find(done) != std::string::npos; };
        kwin("/" + std::to_string(id), "org.kde.kwin.Script.run");
        if (!ran()) kwin("/Scripting", "org.kde.kwin.Scripting.start");
        const bool printed = waitUntil(ran);
        kwin("/Scripting", "org.kde.kwin.Scripting.unloadScript", {name});
        return printed;
    }

private:
    bool kwinAnswers() { return kwin("/Scripting", "org.freedesktop.DBus.Peer.Ping").exitStatus == 0; }

    // What a Plasma session starts besides KWin for its tray: kded with its
    // StatusNotifierWatcher, and plasmashell, whose panel hosts the items.
    // The activity manager comes first: the private bus starts no service
    // on demand, and kded's first-start updates wait half a minute for it.
    bool startPanel(std::string& why) {
        const Environment qtOnWayland{{"QT_QPA_PLATFORM", "wayland"}};
        std::string activities;
        std::error_code error;
        for (const auto& lib : fs::directory_iterator("/usr/lib", error)) {
            const fs::path candidate = lib.path() / "libexec/kactivitymanagerd";
            if (fs::exists(candidate)) activities = candidate;
        }
        auto printed = [&](const std::string& program) {
            std::ifstream log(runtime_ + "/" + program + ".log");
            return "; it printed:\n" + std::string(std::istreambuf_iterator<char>(log), {});
        };
        if (activities.empty()) {
            why = "kactivitymanagerd is not installed (scripts/install-deps.sh installs plasma-desktop)";
            return false;
        }
        activities_ = start({activities}, qtOnWayland, runtime_ + "/activities.log");
        kded_ = start({findProgram("kded5")}, qtOnWayland, runtime_ + "/kded.log");
        if (!waitUntil([&] {
                return call("org.kde.kded5", "/kded", "org.kde.kded5.loadModule", {"statusnotifierwatcher"})
                           .out.find("true") != std::string::npos;
            })) {
            why = "kded5 did not load its StatusNotifierWatcher" + printed("kded");
            return false;
        }
        plasmashell_ = start({findProgram("plasmashell")}, qtOnWayland, runtime_ + "/plasmashell.log");
        if (!waitUntil([&] {
                return call("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                            "org.freedesktop.DBus.Properties.Get",
                            {"org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"})
                           .out.find("true") != std::string::npos;
            }, 30s)) {
            why = "plasmashell's tray did not register with the watcher in 30 s" + printed("plasmashell");
            return false;
        }
        // Its desktop takes the focus when it maps, so the clients start
        // once it and the panel are there.
        const std::string own = std::to_string(plasmashell_->pid());
        if (!waitUntil([&] {
                std::string pids = "," + windowPids() + ",";
                auto first = pids.find("," + own + ",");
                return first != std::string::npos && pids.find("," + own + ",", first + 1) != std::string::npos;
            }, 30s)) {
            why = "plasmashell showed no desktop and panel in 30 s" + printed("plasmashell");
            return false;
        }
        return true;
    }

    CommandResult kwin(const std::string& path, const std::string& method, const std::vector<std::string>& args = {}) {
        return call("org.kde.KWin", path, method, args);
    }

    // The pids of KWin's windows, joined by commas, printed by a one-shot
    // script into KWin's log.
    std::string windowPids() {
        const std::string mark = "korvane-pids-" + std::to_string(scripts_ + 1) + ":";
        script("var list = " + std::string(kWindows) + ";\nvar pids = [];\n" +
               "for (var i = 0; i < list.length; ++i) pids.push(list[i].pid);\n" +
               "print(\"" + mark + "\" + pids.join(\",\"));\n");
        std::string text = log();
        auto at = text.rfind(mark);
        if (at == std::string::npos) return {};
        return text.substr(at + mark.size(), text.find('\n', at) - at - mark.size());
    }

    std::set<pid_t> listedPids() override { return pidsIn(windowPids()); }

    bool withPanel_ = false;
    int scripts_ = 0;
    std::unique_ptr<StartedProgram> activities_, kded_, plasmashell_;
};

}  // namespace

std::unique_ptr<DesktopSession> startKWin(bool withPanel, std::string& why) {
    return startedOrNothing<KWinSession>(why, withPanel);
}

bool restartKWin(DesktopSession& session, bool crash, std::string& why, const std::function<void()>& whileAway) {
    return static_cast<KWinSession&>(session).replace(crash, why, whileAway);
}

}  // namespace korvane::testing
