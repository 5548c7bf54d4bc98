#include "platform/linux/dbus/bus_name_owner.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace korvane::linux_platform {

BusNameOwner::BusNameOwner(QDBusConnection bus, QString name, std::function<void(const QString&)> changed)
    : name_(std::move(name)), changed_(std::move(changed)) {
    watcher_ = new QDBusServiceWatcher(name_, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { take(newOwner); });
    const QString daemon = QStringLiteral("org.freedesktop.DBus");
    auto call = QDBusMessage::createMethodCall(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon,
                                              QStringLiteral("GetNameOwner"));
    call << name_;
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answer) {
        QDBusPendingReply<QString> reply = *answer;
        answer->deleteLater();
        // A change seen meanwhile is newer than this answer.
        if (!answered_) take(reply.isValid() ? reply.value() : QString());
    });
}

void BusNameOwner::take(const QString& owner) {
    if (answered_ && owner == owner_) return;
    answered_ = true;
    owner_ = owner;
    changed_(owner_);
}

}  // namespace korvane::linux_platform
