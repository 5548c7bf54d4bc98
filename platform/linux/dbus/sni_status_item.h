#pragma once
// The tray item as our own StatusNotifierItem (KDE, XFCE, GNOME with its
// AppIndicator extension, swaybar). QSystemTrayIcon drops the position of an
// SNI click; serving the item ourselves gives Activate(x, y), the anchor the
// popover opens at. The title goes out as the XAyatanaLabel property for the
// hosts that show one. Korvane's symbol also goes out by name, a symbolic
// icon of the hicolor theme that hosts recolour for their panel; every other
// picture (the heatmap, an application's icon) goes only as pixmaps, since
// hosts prefer a name and would hide the live picture. Pixmaps are drawn for
// the panel's colour, as well as it is known.
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>

#include "app/shell/status_item.h"
#include "platform/linux/dbus/sni_types.h"
#include "shared/paths/installed_paths.h"

class QDBusServiceWatcher;

namespace korvane::linux_platform {

// Whether a StatusNotifierWatcher with a registered host is on `bus`.
bool statusNotifierHostAvailable(const QDBusConnection& bus);

// The process name of the StatusNotifierWatcher ("xfce4-panel",
// "gnome-shell", "plasmashell"); empty when it cannot be told.
QString statusNotifierHostName(const QDBusConnection& bus);

// Whether the watcher's host shows XAyatanaLabel beside the icon: GNOME's
// AppIndicator extension and the Ayatana/Unity indicator services do; KDE,
// XFCE and swaybar show only the icon.
bool statusNotifierHostShowsLabels(const QDBusConnection& bus);

class SniStatusItem;

class StatusNotifierItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(korvane::linux_platform::SniIconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(korvane::linux_platform::SniIconPixmapList OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(korvane::linux_platform::SniIconPixmapList AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(korvane::linux_platform::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    // No DBusMenu: the menu opens through ContextMenu(x, y). Hosts such as
    // GNOME's AppIndicator extension refuse an item without the property.
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide)
public:
    explicit StatusNotifierItemAdaptor(SniStatusItem* item);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QString::fromLatin1(paths::kAppID.data(), paths::kAppID.size()); }
    QString title() const { return QStringLiteral("Korvane"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    QString iconThemePath() const;
    QString iconName() const;
    SniIconPixmapList iconPixmap() const;
    SniIconPixmapList noPixmaps() const { return {}; }
    SniToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }
    QString label() const;
    QString labelGuide() const { return QStringLiteral(" 100%"); }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);
    void XAyatanaNewLabel(const QString& label, const QString& guide);

private:
    SniStatusItem* item_;
};

class SniStatusItem final : public QObject, public app::StatusItem {
    Q_OBJECT
public:
    // Pixel sizes offered to the host, which picks the nearest.
    static constexpr int kPixmapSizes[] = {16, 22, 24, 32, 48, 64};
    static constexpr const char* kObjectPath = "/StatusNotifierItem";
    // Our symbol in the hicolor theme (symbolic/apps).
    static constexpr const char* kSymbolIconName = "com.korvane.app-symbolic";

    struct Look {
        // The colour the panel wants its icons in (app::panelForeground).
        std::function<QColor()> panelForeground;
        // The icon folder holding hicolor/symbolic/apps/<kSymbolIconName>.svg,
        // handed to hosts as IconThemePath; empty when Korvane found none, and
        // then the symbol goes as pixmaps only.
        QString iconThemePath;
    };

    SniStatusItem(QDBusConnection bus, Look look);
    ~SniStatusItem() override;

    // Exports the item and registers it with the watcher. False (and logged)
    // when the bus refuses.
    bool registerItem();
    const QString& serviceName() const { return serviceName_; }

    void setImage(app::TrayImagePtr image) override;
    app::TrayImagePtr image() const override { return image_; }
    void setTitle(const std::string& title) override;
    std::string title() const override { return title_; }
    void setImagePosition(app::ImagePosition) override {}
    void setToolTip(const std::string& toolTip) override;
    void setContextMenu(QMenu* menu) override;
    QRect iconGeometry() const override { return lastClick_; }

    // The panel's colours changed: the pixmaps are drawn again.
    void panelColorsChanged() { renderPixmaps(); }

private:
    friend class StatusNotifierItemAdaptor;
    void activated(int x, int y);
    void contextMenuRequested(int x, int y);
    void registerWithWatcher();
    void renderPixmaps();

    QDBusConnection bus_;
    QString serviceName_;
    StatusNotifierItemAdaptor* adaptor_;
    QDBusServiceWatcher* watcherWatch_ = nullptr;
    app::TrayImagePtr image_;
    SniIconPixmapList pixmaps_;
    std::string title_;
    std::string toolTip_;
    QPointer<QMenu> menu_;
    QRect lastClick_;
    bool hostShowsLabels_ = false;
    Look look_;
    // kSymbolIconName while the symbol shows; empty while the icon is a picture.
    QString iconName_;
};

}  // namespace korvane::linux_platform
