#pragma once
// The StatusNotifierItem's structured D-Bus types: icon pixmaps a(iiay)
// (ARGB32, network byte order) and the tooltip (sa(iiay)ss).
#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

namespace korvane::linux_platform {

struct SniIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
};
using SniIconPixmapList = QList<SniIconPixmap>;

struct SniToolTip {
    QString iconName;
    SniIconPixmapList iconPixmaps;
    QString title;
    QString description;
};

// `image` as the pixmap the protocol wants.
SniIconPixmap sniPixmapOf(const QImage& image);

void registerSniTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const SniIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& toolTip);

}  // namespace korvane::linux_platform

Q_DECLARE_METATYPE(korvane::linux_platform::SniIconPixmap)
Q_DECLARE_METATYPE(korvane::linux_platform::SniToolTip)
