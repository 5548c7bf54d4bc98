#include "platform/linux/dbus/freedesktop_notification_center.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QVariantMap>

#include "app/shell/symbol_image.h"
#include "shared/paths/installed_paths.h"

namespace korvane::linux_platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr int kTimeoutMs = 3000;

// Runs `done` with the call's outcome once the reply (or its timeout) arrives.
void whenAnswered(const QDBusConnection& bus, const QDBusMessage& call,
                  std::function<void(const QDBusMessage& reply)> done) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         done(finished->reply());
                         finished->deleteLater();
                     });
}

// Our symbol in colour, for servers that show an image beside the text.
QVariant iconImageData() {
    static const QImage picture = [] {
        const app::SymbolImage symbol(QStringLiteral("Korvane"));
        return symbol.render(QSize(64, 64), 1.0, QColor(0xE0, 0x52, 0x2B)).convertToFormat(QImage::Format_RGBA8888);
    }();
    QDBusArgument image;
    image.beginStructure();
    image << picture.width() << picture.height() << static_cast<int>(picture.bytesPerLine()) << true << 8 << 4
          << QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());
    image.endStructure();
    return QVariant::fromValue(image);
}

}  // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus) : bus_(std::move(bus)) {}

void FreedesktopNotificationCenter::askServer(std::function<void(bool answered, std::string error)> done) {
    if (!bus_.isConnected()) {
        done(false, {});
        return;
    }
    whenAnswered(bus_, QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")),
                 [done = std::move(done)](const QDBusMessage& reply) {
                     if (reply.type() == QDBusMessage::ReplyMessage) {
                         done(true, {});
                     } else {
                         done(false, reply.errorMessage().toStdString());
                     }
                 });
}

void FreedesktopNotificationCenter::getAuthorizationStatus(std::function<void(app::NotificationAuthorization)> done) {
    askServer([done = std::move(done)](bool answered, const std::string&) {
        done(answered ? app::NotificationAuthorization::authorized : app::NotificationAuthorization::denied);
    });
}

void FreedesktopNotificationCenter::requestAuthorization(std::function<void(bool granted, std::string error)> done) {
    askServer(std::move(done));
}

void FreedesktopNotificationCenter::add(const app::NotificationRequest& request,
                                        std::function<void(std::string error)> done) {
    if (!bus_.isConnected()) {
        done("No session bus to reach a notification server.");
        return;
    }
    QVariantMap hints;
    hints.insert(QString::fromLatin1(kIdentifierHint), QString::fromStdString(request.identifier));
    const QString appID = QString::fromLatin1(paths::kAppID.data(), paths::kAppID.size());
    // The entry's ID, so the desktop files the notification under Korvane.
    hints.insert(QStringLiteral("desktop-entry"), appID);
    hints.insert(QStringLiteral("image-data"), iconImageData());
    if (request.playDefaultSound) hints.insert(QStringLiteral("sound-name"), QString::fromLatin1(kSoundName));

    auto call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Korvane") << 0u << appID << QString::fromStdString(request.title)
         << QString::fromStdString(request.body) << QStringList() << hints << -1;
    whenAnswered(bus_, call, [done = std::move(done)](const QDBusMessage& reply) {
        done(reply.type() == QDBusMessage::ReplyMessage ? std::string() : reply.errorMessage().toStdString());
    });
}

}  // namespace korvane::linux_platform
