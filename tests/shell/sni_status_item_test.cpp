// Our StatusNotifierItem as a host reads it, over a private session bus (the
// test runs inside dbus-run-session): the symbol by its themed name, the
// heatmap only as pixmaps drawn for the panel's colour.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QtEndian>

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

TEST(SniStatusItem, TheSymbolGoesByItsThemedNameAndTheHeatmapAsPixmapsForThePanelsColour) {
    ASSERT_NE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), QByteArray()) << "run under dbus-run-session";
    const QColor darkPanelForeground(0xEE, 0xEE, 0xEC);
    SniStatusItem item(QDBusConnection::sessionBus(),
                       {[&] { return darkPanelForeground; }, QStringLiteral("/opt/korvane/share/icons")});
    ASSERT_TRUE(item.registerItem());

    item.setImage(std::make_shared<app::SymbolImage>(QStringLiteral("Korvane")));
    EXPECT_EQ(hostReads(item, "IconName").toString(), QStringLiteral("com.korvane.app-symbolic"));
    EXPECT_EQ(hostReads(item, "IconThemePath").toString(), QStringLiteral("/opt/korvane/share/icons"));

    // A name would make hosts show the symbol instead of the live heatmap.
    item.setImage(app::HeatmapIconManager::createHeatmapImage(testing::coreList({0.05, 1.0}), {}));
    EXPECT_EQ(hostReads(item, "IconName").toString(), QString());
    const auto pixmaps = qdbus_cast<SniIconPixmapList>(hostReads(item, "IconPixmap").value<QDBusArgument>());
    ASSERT_EQ(pixmaps.size(), static_cast<qsizetype>(std::size(SniStatusItem::kPixmapSizes)));
    const SniIconPixmap& pixmap = pixmaps[1];
    ASSERT_EQ(pixmap.width, 22);
    // ARGB in network byte order; the idle first core, light grey on a dark panel.
    auto pixel = [&](QPointF at) {
        const int offset = (static_cast<int>(at.y()) * pixmap.width + static_cast<int>(at.x())) * 4;
        return qFromBigEndian<quint32>(pixmap.bytes.constData() + offset);
    };
    const auto cells = app::HeatmapIconManager::cellRects(2, QSizeF(22, 22));
    EXPECT_EQ(pixel(cells[0].center()), 0xFF999999u);
    EXPECT_EQ(pixel(cells[1].center()), 0xFFFF0000u);
}

}  // namespace
}  // namespace korvane::linux_platform
