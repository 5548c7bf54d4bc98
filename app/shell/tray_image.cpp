#include "app/shell/tray_image.h"

#include <QPainter>

namespace korvane::app {

QImage TrayImage::render(QSize pixelSize, qreal devicePixelRatio, const QColor& foreground) const {
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (pixelSize.isEmpty()) return image;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(pixelSize) / ratio), foreground);
    return image;
}

}  // namespace korvane::app
