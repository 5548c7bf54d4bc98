#include "app/shell/symbol_image.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

#include "app/ui/symbols/app_icon_picture.h"

namespace korvane::app {

SymbolImage::SymbolImage(QString accessibilityDescription) : description_(std::move(accessibilityDescription)) {}

bool SymbolImage::paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const {
    QSvgRenderer renderer{QByteArray(kKorvaneSymbolSvg)};
    if (!renderer.isValid()) return false;
    // Draw the shape as a mask, then flood it with the foreground colour so
    // the symbol follows the panel's colours like a template image.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage mask((rect.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&maskPainter, QRectF(QPointF(0, 0), QSizeF(mask.size())));
        maskPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        maskPainter.fillRect(mask.rect(), foreground);
    }
    mask.setDevicePixelRatio(ratio);
    painter.drawImage(rect.topLeft(), mask);
    return true;
}

bool PictureImage::paint(QPainter& painter, const QRectF& rect, const QColor&) const {
    if (picture_.isNull()) return false;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setOpacity(1.0);
    painter.drawImage(rect, picture_, QRectF(picture_.rect()));
    painter.restore();
    return true;
}

QImage pictureOf(const AppIcon& icon, int pixelSize) {
    const QIcon picture = ui::appIconPicture(icon);
    return picture.isNull() ? QImage() : picture.pixmap(pixelSize, pixelSize).toImage();
}

}  // namespace korvane::app
