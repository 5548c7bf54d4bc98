// Our StatusNotifierItem as a host reads it, over a private session bus (the
// test runs inside dbus-run-session): the symbol by its themed name, the
// heatmap only as pixmaps.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>

#include "app/shell/heatmap_icon_manager.h"
#include "app/shell/symbol_image.h"
#include "platform/linux/dbus/sni_status_item.h"
#include "tests/shell/core_list.h"

namespace korvane::linux_platform {
namespace {

// A property of the item, asked as a host asks it: from a connection of its own.
QVariant hostReads(const SniStatusItem& item, const char* property) {
    static QDBusConnection host = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("host"));
    auto call = QDBusMessage::createMethodCall(item.serviceName(), QString::fromLatin1(SniStatusItem::kObjectPath),
                                              QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.kde.StatusNotifierItem") << QString::fromLatin1(property);
    QDBusPendingCall pending = host.asyncCall(call, 5000);
    QElapsedTimer clock;
    clock.start();
    while (!pending.isFinished() && clock.elapsed() < 6000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QDBusMessage reply = pending.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

TEST(SniStatusItem, TheSymbolGoesByItsThemedNameAndTheHeatmapOnlyAsPixmaps) {
    ASSERT_NE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), QByteArray()) << "run under dbus-run-session";
    SniStatusItem item(QDBusConnection::sessionBus(),
                       {[] { return QColor(Qt::black); }, QStringLiteral("/opt/korvane/share/icons")});
    ASSERT_TRUE(item.registerItem());

    item.setImage(std::make_shared<app::SymbolImage>(QStringLiteral("Korvane")));
    EXPECT_EQ(hostReads(item, "IconName").toString(), QStringLiteral("com.korvane.app-symbolic"));
    EXPECT_EQ(hostReads(item, "IconThemePath").toString(), QStringLiteral("/opt/korvane/share/icons"));

    // A name would make hosts show the symbol instead of the live heatmap
    // (whose pixels on a real panel the tray's desktop test checks).
    item.setImage(app::HeatmapIconManager::createHeatmapImage(testing::coreList({0.05, 1.0}), {}));
    EXPECT_EQ(hostReads(item, "IconName").toString(), QString());
    EXPECT_EQ(qdbus_cast<SniIconPixmapList>(hostReads(item, "IconPixmap").value<QDBusArgument>()).size(),
              static_cast<qsizetype>(std::size(SniStatusItem::kPixmapSizes)));
}

}  // namespace
}  // namespace korvane::linux_platform
