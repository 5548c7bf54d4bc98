#pragma once
// The idle symbol (a heart with a bolt through it) and the focused
// application's icon, as tray images.
#include <QImage>
#include <QString>

#include "app/focus/workspace.h"
#include "app/shell/tray_image.h"

namespace korvane::app {

extern const char* const kKorvaneSymbolSvg;

// Our monochrome symbol; a template image drawn in the panel's foreground.
class SymbolImage final : public TrayImage {
public:
    explicit SymbolImage(QString accessibilityDescription);
    bool paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const override;
    bool isTemplate() const override { return true; }
    const QString& accessibilityDescription() const { return description_; }

private:
    QString description_;
};

// A picture scaled into the whole rectangle, not a template.
class PictureImage final : public TrayImage {
public:
    explicit PictureImage(QImage picture) : picture_(std::move(picture)) {}
    bool paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const override;
    const QImage& picture() const { return picture_; }

private:
    QImage picture_;
};

// The pixels of an application's icon at `pixelSize` (see appIconPicture).
// Null when it has none.
QImage pictureOf(const AppIcon& icon, int pixelSize = 64);

}  // namespace korvane::app
