#include "tests/focus_e2e/focus_desktop.h"

#include <cstdio>

#include "tests/fakes/target_process.h"
#include "tests/x11/private_workspace_config.h"

namespace korvane::testing {
namespace {

// The application ID both programs must agree on: the window class names it
// for the workspace, the GLib launch variables for the helper.
std::string entryText(const std::string& name, const std::string& windowClass) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nStartupWMClass=" + windowClass + "\n";
}

}  // namespace

std::unique_ptr<FocusDesktop> FocusDesktop::start(std::string& why) {
    std::unique_ptr<FocusDesktop> desktop(new FocusDesktop);
    desktop->session_ = XSession::start(why);
    if (!desktop->session_) return nullptr;

    desktop->sysfs_.intelHybridPair();
    // As Debian ships them: openbox's entry declares its session role,
    // trayer's nothing but its program.
    desktop->tree_.write("share/applications/openbox.desktop",
                         "[Desktop Entry]\nType=Application\nName=Openbox\nExec=openbox\nNoDisplay=true\n"
                         "X-GNOME-Autostart-Phase=WindowManager\nX-GNOME-Provides=windowmanager\n");
    desktop->tree_.write("share/applications/trayer.desktop", "[Desktop Entry]\nType=Application\nName=Trayer\nExec=trayer\n");
    // The helper finds applications only through these entries; our clients
    // are GLib-launched from them, so no other process of the machine
    // resolves to one.
    desktop->helper_.emplace(KORVANE_HELPER_BINARY, desktop->tree_.path("helper.sock"),
                             desktop->tree_.path("helper.log"),
                             Environment{{"KORVANE_SYSFS_ROOT", desktop->sysfs_.root()},
                                         {"KORVANE_TASKPOLICY", KORVANE_TASKPOLICY_BINARY},
                                         {"KORVANE_HELPER_RUNTIME_DIR", desktop->tree_.path("helper-state")},
                                         {"XDG_DATA_DIRS", desktop->tree_.path("share")},
                                         {"XDG_DATA_HOME", desktop->tree_.path("home/.local/share")}});
    if (!desktop->helper_->waitUntilListening()) {
        why = "the helper did not start listening: " + desktop->helper_->log();
        return nullptr;
    }

    if (!desktop->startApp(desktop->editor, "org.korvane.e2e.Editor", "Editor", "KorvaneEditor") ||
        !desktop->startApp(desktop->game, "org.korvane.e2e.Game", "Game", "KorvaneGame") ||
        !desktop->startApp(desktop->browser, "org.korvane.e2e.Browser", "Browser", "KorvaneBrowser")) {
        why = "an X client did not map its window";
        return nullptr;
    }

    desktop->wireManagers(why);
    if (!why.empty()) return nullptr;
    // The window manager lists windows a moment after they are mapped.
    auto allListed = [&] {
        return desktop->loop.call([&] { return desktop->appManager_->runningApps->size() == 3; });
    };
    if (!waitUntil(allListed)) {
        why = "the workspace did not list the three applications";
        return nullptr;
    }
    return desktop;
}

bool FocusDesktop::startApp(DesktopApp& app, const std::string& id, const std::string& name,
                            const std::string& windowClass) {
    std::string entry = tree_.write("share/applications/" + id + ".desktop", entryText(name, windowClass));
    app.bundleID = id;
    app.name = name;
    auto options = ClientOptions::named(name, windowClass).ofType("normal").launchedBy(entry);
    options.environment.emplace_back("XDG_DATA_HOME", tree_.path("home/.local/share"));
    app.client = std::make_unique<TestClient>(*session_, options);
    return app.client->ready();
}

void FocusDesktop::wireManagers(std::string& why) {
    loop.call([&] {
        MainLoop& mainLoop = loop.loop();
        auto opened = linux_platform::X11Workspace::open(mainLoop, privateWorkspaceConfig(*session_, tree_), units_);
        if (!opened) {
            why = "the X11 workspace did not open: " + opened.error();
            return;
        }
        workspace_ = std::move(*opened);
        settings_ = std::make_unique<app::SettingsStore>(mainLoop, tree_.path("config"));
        settings_->setBool(app::NotificationManager::kEnabledKey, true);
        connector_ = std::make_unique<linux_platform::SocketHelperConnector>(tree_.path("helper.sock"));
        xpc_ = std::make_shared<app::XPCManager>(
            app::XPCManager::Dependencies{.mainLoop = mainLoop, .connector = *connector_, .filesystemRoot = tree_.root()});
        appManager_ = std::make_shared<app::AppManager>(app::AppManager::Dependencies{
            .mainLoop = mainLoop, .workspace = *workspace_, .ownBundleID = {}, .collationLocale = "en_US"});
        autoFocus_ = std::make_shared<app::AutoFocusManager>(app::AutoFocusManager::Dependencies{
            .mainLoop = mainLoop, .workspace = *workspace_, .settings = *settings_, .ownBundleID = {}});
        autoTrigger_ = std::make_shared<app::AutoTriggerManager>(
            app::AutoTriggerManager::Dependencies{.mainLoop = mainLoop, .workspace = *workspace_, .settings = *settings_});
        notifications_ = std::make_shared<app::NotificationManager>(
            app::NotificationManager::Dependencies{.mainLoop = mainLoop, .settings = *settings_, .center = center_});
        autoFocus_->configure({appManager_, xpc_, notifications_, autoTrigger_});
        autoTrigger_->configure({xpc_, appManager_, notifications_, autoFocus_});
    });
}

FocusDesktop::~FocusDesktop() {
    try {
        loop.call([&] {
            autoFocus_.reset();
            autoTrigger_.reset();
            notifications_.reset();
            appManager_.reset();
            xpc_.reset();
            workspace_.reset();
            settings_.reset();
            connector_.reset();
        });
    } catch (const std::exception& stuck) {
        std::fprintf(stderr, "FocusDesktop: %s; the managers were left alive\n", stuck.what());
    }
    // The notification service's answers are posted to the loop: none may
    // arrive once it has ended.
    center_.joinAll();
}

std::optional<pid_t> FocusDesktop::startTrayHost() {
    trayHost_ = std::make_unique<StartedProgram>(
        std::vector<std::string>{findProgram("trayer"), "--edge", "top", "--align", "right", "--widthtype", "request"},
        session_->environment(), tree_.path("trayer.log"));
    if (!waitUntil([&] { return session_->run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).exitStatus == 0 &&
                                session_->run({"xdotool", "search", "--class", "trayer"}).exitStatus == 0; })) {
        return std::nullopt;
    }
    return trayHost_->pid();
}

bool FocusDesktop::activate(const DesktopApp& app) const {
    return session_->run({"xdotool", "windowactivate", "--sync", std::to_string(app.window())}).exitStatus == 0;
}

bool FocusDesktop::setActiveWindow(const DesktopApp& app) const {
    return setActiveWindowProperty(*session_, app.window());
}

std::string allowedCPUs(pid_t pid) {
    std::string all;
    for (pid_t tid : threadsOf(pid)) all += (all.empty() ? "" : " ") + viewOf(tid).cpus;
    return all;
}

}  // namespace korvane::testing
