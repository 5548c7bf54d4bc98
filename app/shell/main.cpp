// korvane: the tray application. Wires the Linux adapters into the shell:
// the session bus (tray item, one instance, notifications), the per-user
// socket, the helper's socket and installer, the desktop the focus engine
// follows (X11, sway, KWin or GNOME Shell), /proc and /sys for the monitors,
// the throttled-now list and the core groups, and the signals that end the
// session.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "app/client/helper_probe.h"
#include "app/client/install_command.h"
#include "platform/linux/identity/desktop_bundle_reader.h"
#include "app/focus/empty_workspace.h"
#include "app/runtime/app_log.h"
#include "app/runtime/settings_store.h"
#include "app/shell/app_delegate.h"
#include "app/shell/first_run_windows.h"
#include "app/shell/korvane_app.h"
#include "app/shell/qt_main_loop.h"
#include "app/ui/popover/content_view.h"
#include "helper/helper_info.h"
#include "platform/linux/dbus/dbus_app_instance.h"
#include "platform/linux/dbus/desktop_color_scheme.h"
#include "platform/linux/dbus/freedesktop_notification_center.h"
#include "platform/linux/dbus/sni_status_item.h"
#include "platform/linux/install/helper_install_environment.h"
#include "platform/linux/monitors/monitor_platform.h"
#include "platform/linux/proc/cgroup_unit_lookup.h"
#include "platform/linux/proc/proc_confinement_reader.h"
#include "platform/linux/proc/proc_process_placement.h"
#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/session/local_socket_app_instance.h"
#include "platform/linux/machine/system_summary_reader.h"
#include "platform/linux/session/termination_signals.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/gnome/gnome_workspace.h"
#include "platform/linux/kwin/kwin_workspace.h"
#include "platform/linux/sway/sway_workspace.h"
#include "platform/linux/workspace/noted_workspace.h"
#include "platform/linux/workspace/workspace_choice.h"
#include "platform/linux/x11/tray_colors.h"
#include "platform/linux/x11/x11_workspace.h"
#include "platform/linux/x11/xembed_status_item.h"
#include "shared/identity/unit_lookup.h"
#include "shared/paths/installed_paths.h"
#include "shared/version/version.h"
#include "shared/smc/smc_bridge.h"

using namespace korvane;

namespace {

// The tray item, drawn for the panel's colour: what an XEmbed tray publishes
// (XFCE's panel does, for its StatusNotifierItems too), else the desktop's
// dark or light style. It follows a change of that style.
std::unique_ptr<app::StatusItem> makeStatusItem(const QDBusConnection& bus,
                                                linux_platform::DesktopColorScheme& scheme) {
    auto panelForeground = [&scheme] {
        return app::panelForeground(linux_platform::xembedTrayForeground(), scheme.current());
    };
    if (linux_platform::statusNotifierHostAvailable(bus)) {
        const std::string program = linux_platform::currentInstallEnvironment().programPath;
        const QString icons = QString::fromStdString(linux_platform::shippedIconFolder(
            program, std::string("hicolor/symbolic/apps/") + linux_platform::SniStatusItem::kSymbolIconName + ".svg"));
        auto item = std::make_unique<linux_platform::SniStatusItem>(
            bus, linux_platform::SniStatusItem::Look{panelForeground, icons});
        if (item->registerItem()) {
            app::logLine("Tray: StatusNotifierItem " + item->serviceName().toStdString());
            scheme.onChange = [raw = item.get()] { raw->panelColorsChanged(); };
            return item;
        }
    }
    app::logLine("Tray: XEmbed system tray");
    auto item = std::make_unique<linux_platform::XEmbedStatusItem>(panelForeground);
    scheme.onChange = [raw = item.get()] { raw->panelColorsChanged(); };
    return item;
}

std::unique_ptr<app::Workspace> noted(std::unique_ptr<app::Workspace> workspace, const std::string& blindSpot) {
    if (blindSpot.empty()) return workspace;
    app::logLine("Workspace: " + blindSpot);
    return std::make_unique<linux_platform::NotedWorkspace>(std::move(workspace), blindSpot);
}

// The X11 workspace, or an empty one when no X server answers, so Korvane
// still runs (and says why it sees no applications).
std::unique_ptr<app::Workspace> openX11(MainLoop& loop, identity::UnitLookup& units, const std::string& blindSpot) {
    auto workspace = linux_platform::X11Workspace::open(loop, {}, units);
    if (workspace) return noted(std::move(workspace).value(), blindSpot);
    return noted(std::make_unique<app::EmptyWorkspace>(),
                 workspace.error() + ": Korvane sees no applications to focus");
}

// The desktop the focus engine follows, chosen from the session (or
// KORVANE_WORKSPACE), said in one line of the log.
std::unique_ptr<app::Workspace> openWorkspace(MainLoop& loop, identity::UnitLookup& units, const QDBusConnection& bus) {
    using linux_platform::WorkspaceKind;
    auto facts = linux_platform::SessionFacts::fromEnvironment();
    if (bus.isConnected() && bus.interface()) {
        facts.kwinOnBus = bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")).value();
        facts.gnomeShellOnBus = bus.interface()->isServiceRegistered(QStringLiteral("org.gnome.Shell")).value();
    }
    const auto choice = linux_platform::chooseWorkspace(facts);
    app::logLine(std::string("Workspace: ") + linux_platform::workspaceName(choice.kind) + " — " + choice.why);
    switch (choice.kind) {
        case WorkspaceKind::sway: {
            const char* socket = std::getenv("SWAYSOCK");
            auto sway = linux_platform::SwayWorkspace::open(loop, {.socketPath = socket ? socket : "", .tracker = {}},
                                                            units);
            if (sway) return std::move(sway).value();
            return openX11(loop, units, sway.error() + ": Korvane sees only applications on Xwayland");
        }
        case WorkspaceKind::kwin:
            return std::make_unique<linux_platform::KWinWorkspace>(
                loop, bus,
                linux_platform::KWinWorkspaceConfig{
                    .scriptPath = app::runningInstallPrefix() + "/share/korvane/kwin/korvane-workspace.js",
                    .tracker = {},
                    .limits = {}},
                units);
        case WorkspaceKind::gnome:
            return std::make_unique<linux_platform::GnomeWorkspace>(
                loop, bus, linux_platform::GnomeWorkspaceConfig{.tracker = {}, .limits = {}}, units);
        case WorkspaceKind::x11: return openX11(loop, units, choice.blindSpot);
        case WorkspaceKind::none: break;
    }
    return noted(std::make_unique<app::EmptyWorkspace>(), choice.blindSpot);
}

// A helper installed under a private root listens there too.
std::string helperSocket(const std::string& installRoot) {
    const char* overridden = std::getenv(paths::kSocketOverrideVariable);
    if ((overridden && *overridden) || installRoot.empty()) return paths::helperSocketPath();
    return app::InstalledFiles{installRoot}.socket();
}

// The setup window installs with the same script and privilege runner as the
// popover's "Install" does, and looks for a running helper on the socket the
// application will use.
ui::OnboardingDependencies setupDependencies(const app::HelperInstallSetup& install, const std::string& root,
                                             HelperConnector& connector, MainLoop& loop) {
    ui::OnboardingDependencies dependencies =
        ui::OnboardingDependencies::forThisMachine(linux_platform::readSystemSummary(paths::sysfsRoot(), paths::machineProcRoot()));
    dependencies.findRunningHelper = [&connector, &loop](std::function<void(bool)> done) {
        // A helper answers a ping within milliseconds; one that takes longer
        // is not one to rely on.
        app::probeHelper(connector, loop, seconds(3), std::move(done));
    };
    if (auto command = app::terminalInstallCommand(install, root)) dependencies.terminalCommand = *command;
    dependencies.systemdRunning = install.systemdRunning;
    dependencies.installPlan.composed = [install, root]() -> Expected<app::InstallCommand, std::string> {
        auto argv = app::helperInstallInvocation(install, root);
        if (!argv) return unexpected(argv.error());
        std::vector<std::string> words = std::move(argv).value();
        if (words.empty()) return unexpected(std::string("no installer command"));
        std::string program = words.front();
        words.erase(words.begin());
        return app::InstallCommand{std::move(program), std::move(words)};
    };
    return dependencies;
}

// Qt keeps a popup where Korvane puts it only on X11: on a Wayland desktop
// with Xwayland the tray application runs there, so the popover opens at the
// tray icon. Without Xwayland it runs on Wayland, where the popover is a
// small window the compositor places. An explicit QT_QPA_PLATFORM stands.
std::string chooseQtPlatform() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen && *chosen) return std::string("Display: QT_QPA_PLATFORM=") + chosen;
    const char* session = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    const bool onWayland = session && *session ? std::string(session) == "wayland" : (wayland && *wayland);
    if (!onWayland) return "Display: X11";
    if (x11 && *x11) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        return "Display: Qt on Xwayland, so the popover opens at the tray icon";
    }
    return "Display: Qt on Wayland without Xwayland: the popover is a window the compositor places";
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer on a console too: before Qt looks for a display.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i) rawArguments << QString::fromLocal8Bit(argv[i]);
    if (auto early = app::KorvaneApp::parseArguments(rawArguments);
        early && app::KorvaneApp::answerInformationRequest(early.value())) {
        return 0;
    }
    const std::string display = chooseQtPlatform();
    QApplication::setApplicationName(QStringLiteral("korvane"));
    // No display name: the X11 platform would append it to every window
    // title, and "Korvane Setup" must read exactly so. The desktop entry's ID
    // lets desktops match the windows to the entry.
    QApplication::setDesktopFileName(QString::fromLatin1(paths::kAppID.data(), paths::kAppID.size()));
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    auto options = app::KorvaneApp::parseArguments(QApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "korvane: %s\n%s", options.error().c_str(), app::KorvaneApp::kUsage);
        return 64;
    }
    if (app::KorvaneApp::answerInformationRequest(options.value())) return 0;

    app::QtMainLoop loop;
    app::logLine(display);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    linux_platform::DBusAppInstance busInstance(bus);
    std::vector<app::AppInstance*> channels{&busInstance};
    std::optional<linux_platform::LocalSocketAppInstance> socketInstance;
    if (auto socketPath = linux_platform::LocalSocketAppInstance::defaultSocketPath()) {
        channels.push_back(&socketInstance.emplace(*socketPath));
    } else {
        app::logLine("One instance: no private socket (" + socketPath.error() + ")");
    }
    app::AppDelegate* delegate = nullptr;
    auto toggle = [&delegate] {
        if (delegate) delegate->togglePopover();
    };
    if (app::KorvaneApp::handOverToRunningInstance(channels, toggle)) {
        std::puts("Korvane is already running; asked it to open or close its popover.");
        return 0;
    }

    app::SettingsStore settings(loop, app::SettingsStore::defaultDirectory());
    const std::string installRoot = paths::installRoot();
    linux_platform::SocketHelperConnector connector(helperSocket(installRoot));

    // The platform under the managers. The monitors' driver goes in before
    // any FanManager exists; the unit lookup outlives the workspace.
    linux_platform::CgroupUnitLookup unitLookup;
    std::unique_ptr<app::Workspace> workspace = openWorkspace(loop, unitLookup, bus);
    linux_platform::FreedesktopNotificationCenter notificationCenter(bus);
    linux_platform::DesktopColorScheme colorScheme(bus);
    linux_platform::MonitorPlatform monitors = linux_platform::installMonitorPlatform();
    app::DesktopBundleReader bundles(app::DesktopBundleReader::Config::fromEnvironment());
    linux_platform::SpawnProcessRunner spawnRunner;
    app::HelperInstallSetup install =
        linux_platform::detectHelperInstallSetup(linux_platform::currentInstallEnvironment(), spawnRunner);
    const CpuTopology topology = linux_platform::readCpuTopology("/sys");
    linux_platform::ProcProcessPlacement placement(
        "/proc", topology.isHybrid() ? topology.efficiencyCPUs() : CpuList{});
    linux_platform::ProcConfinementReader confinement;
    app::ManagerPlatform platform{*workspace, notificationCenter, *monitors.ticks, *monitors.layout, bundles,
                                  install,    [] { SMCBridge::close(); },       &placement, &confinement};

    ui::OnboardingDependencies setup = setupDependencies(install, installRoot, connector, loop);
    app::AppDelegate::Environment environment{loop,
                                              settings,
                                              connector,
                                              platform,
                                              installRoot,
                                              [&bus, &colorScheme] { return makeStatusItem(bus, colorScheme); },
                                              [] { QCoreApplication::quit(); },
                                              app::onboardingWindows(settings, std::move(setup))};
    // The popover's content: the views over the eight managers. Its Quit
    // releases focus itself before it ends the application.
    environment.makeMainView = [&loop, &delegate](const app::AppManagers& m) -> QWidget* {
        return ui::makeContentView({m.appManager, m.xpcManager, m.autoFocusManager, m.autoTriggerManager,
                                    m.notificationManager, m.cpuViewModel, m.fanManager, m.eCoreJailManager},
                                   loop, [&delegate] { if (delegate) delegate->closePopover(); },
                                   [] { QCoreApplication::quit(); });
    };
    environment.loginItem = app::LoginItem::forThisUser(app::runningInstallPrefix());
    environment.about = {std::string(kReleaseVersion), "GPL-3.0-or-later", std::string(helper::info::kBundleName),
                         std::string(helper::info::kVersion), install.sourceExecutable};
    app::AppDelegate appDelegate(std::move(environment));
    delegate = &appDelegate;

    // The session ends through the end signals, or through the session
    // manager's final word (Qt quits on it). Its earlier request to commit
    // data is no end: the user may still cancel the logout, and session
    // managers ask it at every checkpoint too.
    linux_platform::TerminationSignals signals([](int) { QCoreApplication::quit(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &appDelegate,
                     [&appDelegate] { appDelegate.applicationWillTerminate(); });
    loop.post([&appDelegate] { appDelegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
