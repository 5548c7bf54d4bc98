#pragma once
// An image for the tray icon that is drawn when it is rendered, at whatever
// pixel size and device pixel ratio the tray asks for, so it stays crisp on
// every panel. Images are shared and immutable: handing the same object back
// means "nothing to redraw".
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <memory>

class QPainter;

namespace korvane::app {

class TrayImage {
public:
    virtual ~TrayImage() = default;

    // Draws into `rect` (logical units) of a painter already scaled by the
    // device pixel ratio. `foreground` is the colour the panel wants its icons
    // in: a template image draws in it, the heatmap keeps its idle cells
    // visible against the panel it implies, pictures ignore it. Returns false
    // when there was nothing to draw.
    virtual bool paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const = 0;

    // Template images are monochrome and take the panel's foreground colour.
    virtual bool isTemplate() const { return false; }

    // A transparent ARGB image of `pixelSize` device pixels with this drawing.
    QImage render(QSize pixelSize, qreal devicePixelRatio, const QColor& foreground) const;
};

using TrayImagePtr = std::shared_ptr<const TrayImage>;

}  // namespace korvane::app
