// korvane: the tray application. Wires the Linux adapters into the shell:
// the session bus (tray item, one instance), the per-user socket, the
// helper's socket, and the signals that end the session.
#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <cstdlib>

#include "app/runtime/app_log.h"
#include "app/runtime/settings_store.h"
#include "app/shell/app_delegate.h"
#include "app/shell/korvane_app.h"
#include "app/shell/qt_main_loop.h"
#include "app/shell/scripted_status_sources.h"
#include "platform/linux/dbus/dbus_app_instance.h"
#include "platform/linux/dbus/sni_status_item.h"
#include "platform/linux/session/local_socket_app_instance.h"
#include "platform/linux/session/termination_signals.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/x11/xembed_status_item.h"
#include "shared/paths/installed_paths.h"

using namespace korvane;

namespace {

std::unique_ptr<app::StatusItem> makeStatusItem(const QDBusConnection& bus) {
    if (linux_platform::statusNotifierHostAvailable(bus)) {
        auto item = std::make_unique<linux_platform::SniStatusItem>(bus);
        if (item->registerItem()) {
            app::logLine("Tray: StatusNotifierItem " + item->serviceName().toStdString());
            return item;
        }
    }
    app::logLine("Tray: XEmbed system tray");
    return std::make_unique<linux_platform::XEmbedStatusItem>();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setApplicationName(QStringLiteral("korvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Korvane"));
    QApplication::setDesktopFileName(QStringLiteral("korvane"));
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    auto options = app::KorvaneApp::parseArguments(QApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "korvane: %s\n%s", options.error().c_str(), app::KorvaneApp::kUsage);
        return 64;
    }
    if (options.value().help) {
        std::fputs(app::KorvaneApp::kUsage, stdout);
        return 0;
    }

    app::QtMainLoop loop;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    linux_platform::DBusAppInstance busInstance(bus);
    linux_platform::LocalSocketAppInstance socketInstance;
    app::AppDelegate* delegate = nullptr;
    auto toggle = [&delegate] {
        if (delegate) delegate->togglePopover();
    };
    if (app::KorvaneApp::handOverToRunningInstance({&busInstance, &socketInstance}, toggle)) return 0;

    app::SettingsStore settings(loop, app::SettingsStore::defaultDirectory());
    linux_platform::SocketHelperConnector connector(paths::helperSocketPath());

    app::AppDelegate::Environment environment{
        loop, settings, connector, {}, [&bus] { return makeStatusItem(bus); }, [] { QCoreApplication::quit(); }};
    const char* scriptedUsage = std::getenv("KORVANE_TEST_CORE_USAGE");
    const char* scriptedFocus = std::getenv("KORVANE_TEST_FOCUS");
    if ((scriptedUsage && *scriptedUsage) || (scriptedFocus && *scriptedFocus)) {
        auto status = app::parseScriptedStatus(scriptedUsage ? scriptedUsage : "", scriptedFocus ? scriptedFocus : "");
        environment.interimStatusBarSources = [status] { return app::scriptedSources(status); };
    }
    app::AppDelegate appDelegate(std::move(environment));
    delegate = &appDelegate;

    linux_platform::TerminationSignals signals([](int) { QCoreApplication::quit(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &appDelegate,
                     [&appDelegate] { appDelegate.applicationWillTerminate(); });
    // The end of an X session managed by a session manager.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &appDelegate,
                     [&appDelegate] { appDelegate.applicationWillTerminate(); });
    loop.post([&appDelegate] { appDelegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
