#include "platform/linux/dbus/dbus_app_instance.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

namespace korvane::linux_platform {

namespace {

const QString kApplicationInterface = QStringLiteral("org.freedesktop.Application");

}  // namespace

// org.freedesktop.Application; every way of being activated toggles.
class ApplicationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(DBusAppInstance* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

public Q_SLOTS:
    void Activate(const QVariantMap&) { owner_->toggleRequested(); }
    void Open(const QStringList&, const QVariantMap&) { owner_->toggleRequested(); }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&) { owner_->toggleRequested(); }

private:
    DBusAppInstance* owner_;
};

DBusAppInstance::DBusAppInstance(QDBusConnection bus) : bus_(std::move(bus)) {}

DBusAppInstance::~DBusAppInstance() {
    if (!owner_) return;
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    bus_.unregisterService(QString::fromLatin1(kServiceName));
}

app::AppInstance::Claim DBusAppInstance::claim(std::function<void()> onToggle) {
    if (!bus_.isConnected() || !bus_.interface()) return Claim::unavailable;
    onToggle_ = std::move(onToggle);
    new ApplicationAdaptor(this);
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        return Claim::unavailable;
    }
    // The bus gives the name to exactly one of two instances started together.
    const auto result = bus_.interface()->registerService(QString::fromLatin1(kServiceName),
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (result.isValid() && result.value() == QDBusConnectionInterface::ServiceRegistered) {
        owner_ = true;
        return Claim::primary;
    }
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    return result.isValid() ? Claim::anotherIsRunning : Claim::unavailable;
}

bool DBusAppInstance::requestToggle() {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    // Only a running instance: asking an absent name would try to start one.
    if (!bus_.interface()->isServiceRegistered(QString::fromLatin1(kServiceName)).value()) return false;
    auto call = QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
                                              kApplicationInterface, QStringLiteral("Activate"));
    call << QVariantMap();
    return bus_.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
}

void DBusAppInstance::toggleRequested() {
    // After the reply has gone out, so the caller is not kept waiting on a popup.
    QMetaObject::invokeMethod(
        this, [this] { if (onToggle_) onToggle_(); }, Qt::QueuedConnection);
}

}  // namespace korvane::linux_platform

#include "dbus_app_instance.moc"
