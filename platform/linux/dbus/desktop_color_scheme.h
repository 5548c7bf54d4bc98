#pragma once
// The desktop's dark or light style, as the settings portal tells it
// (org.freedesktop.appearance color-scheme: GNOME, KDE, XFCE with a portal)
// and as it changes. GNOME Shell's top bar is dark in either style, so with
// GNOME Shell hosting the tray the panel counts as dark. Asked without
// blocking: `current()` is unknown until the portal has answered.
#include <QDBusConnection>
#include <QDBusVariant>
#include <QObject>
#include <functional>

#include "app/shell/tray_icon_drawing.h"

namespace korvane::linux_platform {

class DesktopColorScheme final : public QObject {
    Q_OBJECT
public:
    explicit DesktopColorScheme(QDBusConnection bus);

    app::ColorScheme current() const;
    // Runs after the answer changed what current() says.
    std::function<void()> onChange;

    // The portal's value (0 no preference, 1 dark, 2 light) as a scheme.
    static app::ColorScheme fromPortalValue(const QVariant& value);

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void update(app::ColorScheme scheme);

    QDBusConnection bus_;
    app::ColorScheme portal_ = app::ColorScheme::unknown;
    bool gnomeShellTray_ = false;
};

}  // namespace korvane::linux_platform
