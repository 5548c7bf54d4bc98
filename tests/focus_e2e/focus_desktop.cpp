#include "tests/focus_e2e/focus_desktop.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/desktops/wayland_session.h"
#include "tests/desktops/x11_session.h"

namespace korvane::testing {

std::unique_ptr<FocusDesktop> FocusDesktop::start(DesktopFamily family, std::string& why,
                                                  const std::string& recordsFolder) {
    std::unique_ptr<FocusDesktop> desktop(new FocusDesktop);
    desktop->session_ = DesktopSession::start(family, why);
    if (!desktop->session_) return nullptr;

    desktop->sysfs_.intelHybridPair();
    // As Debian ships them: openbox's entry declares its session role,
    // trayer's nothing but its program.
    desktop->tree_.write("share/applications/openbox.desktop",
                         "[Desktop Entry]\nType=Application\nName=Openbox\nExec=openbox\nNoDisplay=true\n"
                         "X-GNOME-Autostart-Phase=WindowManager\nX-GNOME-Provides=windowmanager\n");
    desktop->tree_.write("share/applications/trayer.desktop",
                         "[Desktop Entry]\nType=Application\nName=Trayer\nExec=trayer\n");
    // The helper finds applications only through these entries; our clients
    // are GLib-launched from them, so no other process of the machine
    // resolves to one.
    desktop->helper_.emplace(KORVANE_HELPER_BINARY, desktop->tree_.path("helper.sock"),
                             desktop->tree_.path("helper.log"),
                             Environment{{"KORVANE_SYSFS_ROOT", desktop->sysfs_.root()},
                                         {"KORVANE_HELPER_RUNTIME_DIR",
                                          recordsFolder.empty() ? desktop->tree_.path("helper-state") : recordsFolder},
                                         {"XDG_DATA_DIRS", desktop->tree_.path("share")},
                                         {"XDG_DATA_HOME", desktop->tree_.path("home/.local/share")}});
    if (!desktop->helper_->waitUntilListening()) {
        why = "the helper did not start listening: " + desktop->helper_->log();
        return nullptr;
    }

    if (!desktop->startApp(desktop->editor, {"org.korvane.e2e.Editor", "Editor", ClientKind::qt}, why) ||
        !desktop->startApp(desktop->game, {"org.korvane.e2e.Game", "Game", ClientKind::xwayland}, why) ||
        !desktop->startApp(desktop->browser, {"org.korvane.e2e.Browser", "Browser", ClientKind::wayland}, why)) {
        return nullptr;
    }

    if (!desktop->openWorkspace(why)) return nullptr;
    desktop->wireManagers();
    return desktop;
}

bool FocusDesktop::startApp(DesktopApp& app, const TestApp& testApp, std::string& why) {
    std::string entry = tree_.write("share/applications/" + testApp.id + ".desktop",
                                    "[Desktop Entry]\nType=Application\nName=" + testApp.name +
                                        "\nStartupWMClass=" + session_->windowClass(testApp) + "\n");
    app.bundleID = testApp.id;
    app.name = testApp.name;
    testApps_.insert_or_assign(testApp.id, testApp);
    app.client = session_->launch(testApp, entry, why);
    return app.client != nullptr;
}

bool FocusDesktop::relaunch(DesktopApp& app, std::string& why) {
    app.client.reset();
    return startApp(app, testApps_.at(app.bundleID), why);
}

bool FocusDesktop::openWorkspace(std::string& why) {
    // Qt's D-Bus machinery starts with the first connection; Korvane has one
    // before any workspace opens, so it does not count as the workspace's.
    if (auto* wayland = dynamic_cast<WaylandSession*>(session_.get())) wayland->connectToBus();
    const long before = residentKiB();
    loop.call([&] {
        auto opened = session_->openWorkspace(loop.loop(), privateTrackerConfig(tree_), units_);
        if (!opened) {
            why = std::string("the ") + familyName(session_->family()) + " workspace did not open: " + opened.error();
            return;
        }
        workspace_ = std::move(opened).value();
    });
    if (!workspace_) return false;
    if (!waitUntil([&] { return loop.call([&] { return workspace_->runningApplications().size() == 3; }); })) {
        why = std::string("the ") + familyName(session_->family()) +
              " workspace did not list the three applications; the desktop printed:\n" + session_->log();
        return false;
    }
    workspaceKiB_ = residentKiB() - before;
    return true;
}

void FocusDesktop::wireManagers() {
    loop.call([&] {
        MainLoop& mainLoop = loop.loop();
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
    const auto* x11 = dynamic_cast<const XSession*>(session_.get());
    if (!x11) return std::nullopt;
    trayHost_ = std::make_unique<StartedProgram>(
        std::vector<std::string>{findProgram("trayer"), "--edge", "top", "--align", "right", "--widthtype", "request"},
        x11->environment(), tree_.path("trayer.log"));
    if (!waitUntil([&] { return x11->run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).exitStatus == 0 &&
                                x11->run({"xdotool", "search", "--class", "trayer"}).exitStatus == 0; })) {
        return std::nullopt;
    }
    return trayHost_->pid();
}

bool FocusDesktop::autoFocusActive() {
    return loop.call([&] { return autoFocus_->autoFocusActive.get(); });
}

bool FocusDesktop::beastModeActive() {
    return loop.call([&] { return autoTrigger_->isBeastModeActive.get(); });
}

std::optional<std::int32_t> FocusDesktop::frontPid() {
    return loop.call([&] {
        auto front = workspace_->frontmostApplication();
        return front ? std::optional(front->processIdentifier) : std::nullopt;
    });
}

std::size_t FocusDesktop::listed() {
    return loop.call([&] { return appManager_->runningApps->size(); });
}

void FocusDesktop::enableAutoFocus(const DesktopApp& target) {
    loop.call([&] {
        autoFocus_->addTarget(target.name, target.bundleID);
        autoFocus_->isEnabled = true;
    });
}

void FocusDesktop::enableAutoTrigger(const DesktopApp& trigger) {
    loop.call([&] {
        autoTrigger_->addApp(trigger.name, trigger.bundleID);
        autoTrigger_->isEnabled = true;
    });
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace korvane::testing
