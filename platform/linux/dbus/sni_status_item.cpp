#include "platform/linux/dbus/sni_status_item.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <unistd.h>

#include "app/runtime/app_log.h"
#include "app/shell/tray_icon_drawing.h"

namespace korvane::linux_platform {

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kWatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kCallTimeoutMs = 2000;

}  // namespace

bool statusNotifierHostAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    if (!bus.interface()->isServiceRegistered(kWatcherService).value()) return false;
    auto call = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                              QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kWatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection(bus).call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

QString statusNotifierHostName(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return {};
    const auto pid = bus.interface()->servicePid(kWatcherService);
    if (!pid.isValid()) return {};
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid.value()));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(comm.readAll().trimmed());
}

bool statusNotifierHostShowsLabels(const QDBusConnection& bus) {
    const QString name = statusNotifierHostName(bus);
    return name == QLatin1String("gnome-shell") || name.contains(QLatin1String("indicator-application"));
}

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(SniStatusItem* item) : QDBusAbstractAdaptor(item), item_(item) {
    setAutoRelaySignals(false);
}

SniIconPixmapList StatusNotifierItemAdaptor::iconPixmap() const { return item_->pixmaps_; }
QString StatusNotifierItemAdaptor::iconThemePath() const { return item_->look_.iconThemePath; }
QString StatusNotifierItemAdaptor::iconName() const { return item_->iconName_; }

SniToolTip StatusNotifierItemAdaptor::toolTip() const {
    return SniToolTip{{}, {}, QString::fromStdString(item_->toolTip_), {}};
}

QString StatusNotifierItemAdaptor::label() const { return QString::fromStdString(item_->title_); }

void StatusNotifierItemAdaptor::Activate(int x, int y) { item_->activated(x, y); }
void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y) { item_->activated(x, y); }
void StatusNotifierItemAdaptor::ContextMenu(int x, int y) { item_->contextMenuRequested(x, y); }
void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

SniStatusItem::SniStatusItem(QDBusConnection bus, Look look)
    : bus_(std::move(bus)),
      serviceName_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(::getpid())),
      adaptor_(nullptr),
      look_(std::move(look)) {
    registerSniTypes();
    adaptor_ = new StatusNotifierItemAdaptor(this);
}

SniStatusItem::~SniStatusItem() {
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    bus_.unregisterService(serviceName_);
}

bool SniStatusItem::registerItem() {
    if (!bus_.isConnected()) return false;
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors) ||
        !bus_.registerService(serviceName_)) {
        app::logLine("Tray: could not export the StatusNotifierItem — " + bus_.lastError().message().toStdString());
        return false;
    }
    // A panel restarted later brings a new watcher; register with it too.
    watcherWatch_ = new QDBusServiceWatcher(kWatcherService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcherWatch_, &QDBusServiceWatcher::serviceRegistered, this, [this] { registerWithWatcher(); });
    hostShowsLabels_ = statusNotifierHostShowsLabels(bus_);
    registerWithWatcher();
    return true;
}

void SniStatusItem::registerWithWatcher() {
    auto call = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath, kWatcherInterface,
                                              QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        app::logLine("Tray: the StatusNotifierWatcher refused the item — " + reply.errorMessage().toStdString());
    }
}

void SniStatusItem::setImage(app::TrayImagePtr image) {
    if (image == image_) return;
    image_ = std::move(image);
    renderPixmaps();
}

void SniStatusItem::renderPixmaps() {
    // The symbol goes by name where it can, so the host tints it; pixmaps
    // stay as the fallback for hosts that find no such icon.
    const bool symbolic = image_ && image_->isTemplate() && title_.empty();
    iconName_ = symbolic && !look_.iconThemePath.isEmpty() ? QString::fromLatin1(kSymbolIconName) : QString();
    // A host that shows no label gets the title drawn into the icon.
    const std::string overlay = hostShowsLabels_ ? std::string() : title_;
    pixmaps_.clear();
    const QColor foreground = look_.panelForeground();
    for (int size : kPixmapSizes) {
        pixmaps_.append(sniPixmapOf(app::drawTrayIcon(image_, overlay, QSize(size, size), 1.0, foreground)));
    }
    Q_EMIT adaptor_->NewIcon();
}

void SniStatusItem::setTitle(const std::string& title) {
    if (title == title_) return;
    title_ = title;
    if (!hostShowsLabels_) renderPixmaps();
    Q_EMIT adaptor_->XAyatanaNewLabel(adaptor_->label(), adaptor_->labelGuide());
    Q_EMIT adaptor_->NewTitle();
}

void SniStatusItem::setToolTip(const std::string& toolTip) {
    if (toolTip == toolTip_) return;
    toolTip_ = toolTip;
    Q_EMIT adaptor_->NewToolTip();
}

void SniStatusItem::setContextMenu(QMenu* menu) { menu_ = menu; }

void SniStatusItem::activated(int x, int y) {
    lastClick_ = QRect(x, y, 1, 1);
    if (onActivate) onActivate(lastClick_);
}

void SniStatusItem::contextMenuRequested(int x, int y) {
    lastClick_ = QRect(x, y, 1, 1);
    if (menu_) menu_->popup(QPoint(x, y));
}

}  // namespace korvane::linux_platform
