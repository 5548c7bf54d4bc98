#include "app/ui/popover/symbol_image.h"

#include <QPainter>
#include <QPainterPath>
#include <map>
#include <string>

namespace korvane::ui {
namespace {

// Symbol name to freedesktop icon name; the drawn fallback below covers a
// machine without a full icon theme.
const std::map<std::string, QString, std::less<>>& themeNames() {
    static const std::map<std::string, QString, std::less<>> names = {
        {"app.fill", "application-x-executable"},
        {"arrow.clockwise", "view-refresh"},
        {"arrow.down", "go-down"},
        {"arrow.down.circle", "download"},
        {"arrow.down.circle.fill", "download"},
        {"arrow.triangle.2.circlepath", "system-software-update"},
        {"bolt.fill", "weather-storm"},
        {"bolt.heart.fill", "emblem-favorite"},
        {"bolt.slash.fill", "media-playback-pause"},
        {"checkmark.circle.fill", "emblem-ok"},
        {"chevron.left", "go-previous"},
        {"chevron.right", "go-next"},
        {"cpu", "cpu"},
        {"exclamationmark.triangle.fill", "dialog-warning"},
        {"fan.fill", "weather-windy"},
        {"hand.raised.fill", "action-unavailable"},
        {"leaf.fill", "battery-good"},
        {"pause.circle.fill", "media-playback-pause"},
        {"plus.circle.fill", "list-add"},
        {"shield.lefthalf.filled", "security-high"},
        {"trash", "user-trash"},
        {"xmark.circle.fill", "window-close"},
    };
    return names;
}

// A plain glyph that keeps the symbol's place and rough meaning.
void drawFallback(QPainter& painter, std::string_view name, double s) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    QPainterPath path;
    if (name.starts_with("bolt")) {
        path.moveTo(0.58 * s, 0.05 * s);
        path.lineTo(0.2 * s, 0.55 * s);
        path.lineTo(0.47 * s, 0.55 * s);
        path.lineTo(0.4 * s, 0.95 * s);
        path.lineTo(0.8 * s, 0.42 * s);
        path.lineTo(0.53 * s, 0.42 * s);
        path.closeSubpath();
    } else if (name.starts_with("chevron") || name == "arrow.down") {
        QPen pen(Qt::black, s * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (name == "chevron.left") path.moveTo(0.62 * s, 0.2 * s), path.lineTo(0.35 * s, 0.5 * s), path.lineTo(0.62 * s, 0.8 * s);
        else if (name == "chevron.right") path.moveTo(0.38 * s, 0.2 * s), path.lineTo(0.65 * s, 0.5 * s), path.lineTo(0.38 * s, 0.8 * s);
        else path.moveTo(0.5 * s, 0.15 * s), path.lineTo(0.5 * s, 0.85 * s), path.moveTo(0.25 * s, 0.6 * s), path.lineTo(0.5 * s, 0.85 * s), path.lineTo(0.75 * s, 0.6 * s);
    } else if (name.starts_with("exclamationmark.triangle")) {
        path.moveTo(0.5 * s, 0.08 * s);
        path.lineTo(0.95 * s, 0.9 * s);
        path.lineTo(0.05 * s, 0.9 * s);
        path.closeSubpath();
    } else if (name == "trash" || name == "app.fill" || name == "cpu") {
        path.addRoundedRect(QRectF(0.15 * s, 0.15 * s, 0.7 * s, 0.7 * s), 0.15 * s, 0.15 * s);
    } else {
        path.addEllipse(QRectF(0.1 * s, 0.1 * s, 0.8 * s, 0.8 * s));
    }
    painter.drawPath(path);
}

}  // namespace

QPixmap symbolPixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = static_cast<int>(size * devicePixelRatio + 0.5);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        auto known = themeNames().find(name);
        QIcon themed = known != themeNames().end() ? QIcon::fromTheme(known->second) : QIcon();
        if (!themed.isNull()) {
            themed.paint(&painter, QRect(0, 0, pixels, pixels));
        } else {
            drawFallback(painter, name, pixels);
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(std::string_view name, const QColor& color, int size) {
    QIcon icon;
    icon.addPixmap(symbolPixmap(name, size, color, 1.0));
    icon.addPixmap(symbolPixmap(name, size, color, 2.0));
    return icon;
}

}  // namespace korvane::ui
