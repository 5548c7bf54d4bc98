#pragma once
// The focus engine's workspace on KDE Plasma (KWin). No ordinary client may
// ask KWin which window is in front, but a KWin script may tell: Korvane
// serves com.korvane.app.Workspace on the session bus and loads its script
// (share/korvane/kwin/korvane-workspace.js) into KWin over org.kde.KWin
// /Scripting; the script pushes the window list and every activation as
// JSON. Only pushes from the connection that owns org.kde.KWin are believed,
// each bounded; the rest are refused and logged. When KWin is replaced the
// script is loaded into the new one (a script a crashed Korvane left behind
// is unloaded first), and meanwhile nothing is in front; a loaded script
// that stays silent after `run` is started by KWin's Scripting.start. Lives
// on Qt's main loop, where the session bus delivers.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <memory>

#include "platform/linux/dbus/bus_name_owner.h"
#include "platform/linux/workspace/published_workspace.h"
#include "platform/linux/workspace/window_tracker.h"

namespace korvane::linux_platform {

struct KWinWorkspaceConfig {
    std::string scriptPath;  // the installed korvane-workspace.js
    TrackerConfig tracker;
    ReportLimits limits;
};

class KWinWorkspace final : public QObject, public QDBusContext, public PublishedWorkspace {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.korvane.app.Workspace")
public:
    static constexpr const char* kService = "com.korvane.app.Workspace";
    static constexpr const char* kPath = "/com/korvane/app/Workspace";
    static constexpr const char* kPluginName = "korvane-workspace";

    // Serves the object and starts following KWin; what it cannot see yet
    // is its blind spot until KWin's script speaks.
    KWinWorkspace(MainLoop& loop, QDBusConnection bus, KWinWorkspaceConfig config, identity::UnitLookup& units);
    // Unloads the script from KWin.
    ~KWinWorkspace() override;

public Q_SLOTS:
    // From the script.
    Q_SCRIPTABLE void Report(const QString& json);

private:
    void kwinChanged(const QString& owner);
    void loadScript();
    void runScript(int id);
    void startIfSilent(const QString& owner);
    QDBusMessage scriptingCall(const char* method) const;

    QDBusConnection bus_;
    KWinWorkspaceConfig config_;
    WindowTracker tracker_;
    std::unique_ptr<BusNameOwner> kwin_;
    bool served_ = false;
    bool scriptRunning_ = false;
    bool heardFromScript_ = false;
    int loadAttempts_ = 0;
};

}  // namespace korvane::linux_platform
