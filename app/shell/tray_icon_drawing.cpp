#include "app/shell/tray_icon_drawing.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace korvane::app {

QColor panelForeground(const std::optional<QColor>& trayForeground, ColorScheme desktop) {
    if (trayForeground && trayForeground->isValid()) return *trayForeground;
    const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
    const bool lightText = text.lightnessF() > 0.5;
    // The palette's own text colour where it already suits the style, so a
    // themed desktop keeps its exact shade.
    if (desktop == ColorScheme::dark) return lightText ? text : QColor(0xEE, 0xEE, 0xEC);
    if (desktop == ColorScheme::light) return lightText ? QColor(0x2E, 0x34, 0x36) : text;
    return text;
}

QImage drawTrayIcon(const TrayImagePtr& image, const std::string& overlay, QSize pixelSize, qreal devicePixelRatio,
                    const QColor& foreground) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage picture = image ? image->render(pixelSize, ratio, foreground) : QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
    if (!image) {
        picture.fill(Qt::transparent);
        picture.setDevicePixelRatio(ratio);
    }
    QString text = QString::fromStdString(overlay).trimmed();
    if (text.isEmpty() || pixelSize.isEmpty()) return picture;

    // The number on a dark band across the lower half, white with a dark
    // outline, so it reads on any image and any panel.
    const QSizeF logical = QSizeF(pixelSize) / ratio;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = QGuiApplication::font();
    font.setBold(true);
    font.setPixelSize(std::max(6, static_cast<int>(logical.height() * 0.5)));
    // Drop the per-cent sign when the number alone barely fits.
    if (QFontMetricsF(font).horizontalAdvance(text) > logical.width()) text.remove(QLatin1Char('%'));
    while (QFontMetricsF(font).horizontalAdvance(text) > logical.width() && font.pixelSize() > 6) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    const QFontMetricsF metrics(font);
    const QRectF band(0, logical.height() - metrics.height(), logical.width(), metrics.height());
    painter.fillRect(band, QColor(0, 0, 0, 170));
    QPainterPath path;
    const qreal x = (logical.width() - metrics.horizontalAdvance(text)) / 2;
    path.addText(QPointF(x, band.top() + metrics.ascent()), font, text);
    painter.setPen(QPen(QColor(0, 0, 0, 220), 1.5));
    painter.drawPath(path);
    painter.fillPath(path, Qt::white);
    return picture;
}

TrayIconEngine::TrayIconEngine(TrayImagePtr image, std::string overlay, QColor foreground)
    : image_(std::move(image)), overlay_(std::move(overlay)), foreground_(foreground) {}

void TrayIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawImage(rect, drawTrayIcon(image_, overlay_, rect.size() * ratio, ratio, foreground_));
}

QPixmap TrayIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap TrayIconEngine::scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) {
    return QPixmap::fromImage(drawTrayIcon(image_, overlay_, size * scale, scale, foreground_));
}

QIconEngine* TrayIconEngine::clone() const { return new TrayIconEngine(image_, overlay_, foreground_); }

}  // namespace korvane::app
