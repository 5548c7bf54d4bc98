#include "platform/linux/dbus/desktop_color_scheme.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include "platform/linux/dbus/sni_status_item.h"

namespace korvane::linux_platform {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");
constexpr int kCallTimeoutMs = 3000;

// Read answers a variant inside a variant; ReadOne, the newer call, one.
QVariant unwrapped(QVariant value) {
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>(); ++depth) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    if (value.canConvert<QDBusArgument>()) {
        QDBusVariant inner;
        qvariant_cast<QDBusArgument>(value) >> inner;
        value = inner.variant();
    }
    return value;
}

}  // namespace

DesktopColorScheme::DesktopColorScheme(QDBusConnection bus) : bus_(std::move(bus)) {
    if (!bus_.isConnected()) return;
    gnomeShellTray_ = statusNotifierHostName(bus_) == QLatin1String("gnome-shell");
    bus_.connect(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"), this,
                 SLOT(settingChanged(QString, QString, QDBusVariant)));
    auto call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("Read"));
    call << kAppearance << kColorScheme;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusMessage reply = finished->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            update(fromPortalValue(reply.arguments().first()));
        }
        finished->deleteLater();
    });
}

app::ColorScheme DesktopColorScheme::current() const {
    return gnomeShellTray_ ? app::ColorScheme::dark : portal_;
}

app::ColorScheme DesktopColorScheme::fromPortalValue(const QVariant& value) {
    bool isNumber = false;
    const uint scheme = unwrapped(value).toUInt(&isNumber);
    if (!isNumber) return app::ColorScheme::unknown;
    if (scheme == 1) return app::ColorScheme::dark;
    if (scheme == 2) return app::ColorScheme::light;
    return app::ColorScheme::unknown;
}

void DesktopColorScheme::settingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
    if (group == kAppearance && key == kColorScheme) update(fromPortalValue(value.variant()));
}

void DesktopColorScheme::update(app::ColorScheme scheme) {
    const app::ColorScheme before = current();
    portal_ = scheme;
    if (current() != before && onChange) onChange();
}

}  // namespace korvane::linux_platform
