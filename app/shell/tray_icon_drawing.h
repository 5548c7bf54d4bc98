#pragma once
// The tray icon's pixels: the image at the tray's pixel size and device
// pixel ratio, and, for hosts that cannot show a title beside the icon, the
// percentage drawn over it large enough to read.
#include <QColor>
#include <QIconEngine>
#include <QImage>
#include <QSize>
#include <optional>
#include <string>

#include "app/shell/tray_image.h"

namespace korvane::app {

// What the desktop says of its colours: its dark or light style, where it
// tells one.
enum class ColorScheme { unknown, light, dark };

// The colour the tray's icons are drawn in, from the best word on the panel:
// the colour the tray itself asks for (XEmbed trays publish one), else the
// desktop's dark or light style, else the application palette's text colour.
QColor panelForeground(const std::optional<QColor>& trayForeground, ColorScheme desktop);

// `image` rendered at `pixelSize`; `overlay` (the title, trimmed) drawn over
// it when not empty. A missing image gives a transparent picture.
QImage drawTrayIcon(const TrayImagePtr& image, const std::string& overlay, QSize pixelSize, qreal devicePixelRatio,
                    const QColor& foreground);

// A QIcon engine that draws the tray image at whatever size it is asked for,
// so a tray never scales a picture made for another size.
class TrayIconEngine final : public QIconEngine {
public:
    TrayIconEngine(TrayImagePtr image, std::string overlay, QColor foreground);
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QIconEngine* clone() const override;
    QString key() const override { return QStringLiteral("korvane-tray"); }

private:
    TrayImagePtr image_;
    std::string overlay_;
    QColor foreground_;
};

}  // namespace korvane::app
