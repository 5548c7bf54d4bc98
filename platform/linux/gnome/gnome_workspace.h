#pragma once
// The focus engine's workspace on GNOME Shell. No ordinary client may ask
// the shell which window is in front, so Korvane ships a Shell extension
// (korvane-workspace@korvane.com) that exports com.korvane.ShellWorkspace
// from the shell's own connection. Korvane watches that name: while the
// extension runs it reads GetState() and follows StateChanged, believing
// only the connection that owns org.gnome.Shell, each message bounded;
// while it does not, nothing is in front and the popover says how to turn
// it on. Lives on Qt's main loop, where the session bus delivers.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <memory>

#include "platform/linux/dbus/bus_name_owner.h"
#include "platform/linux/workspace/published_workspace.h"
#include "platform/linux/workspace/window_tracker.h"

namespace korvane::linux_platform {

struct GnomeWorkspaceConfig {
    TrackerConfig tracker;
    ReportLimits limits;
};

class GnomeWorkspace final : public QObject, public PublishedWorkspace {
    Q_OBJECT
public:
    static constexpr const char* kExtensionUUID = "korvane-workspace@korvane.com";
    static constexpr const char* kService = "com.korvane.ShellWorkspace";
    static constexpr const char* kPath = "/com/korvane/ShellWorkspace";

    GnomeWorkspace(MainLoop& loop, QDBusConnection bus, GnomeWorkspaceConfig config, identity::UnitLookup& units);

private Q_SLOTS:
    void stateChanged(const QDBusMessage& message);

private:
    void ownersChanged();
    void take(const QString& from, const QString& json);

    QDBusConnection bus_;
    GnomeWorkspaceConfig config_;
    WindowTracker tracker_;
    std::unique_ptr<BusNameOwner> shell_, extension_;
    QString following_;  // the extension's connection while it is the shell's
};

}  // namespace korvane::linux_platform
