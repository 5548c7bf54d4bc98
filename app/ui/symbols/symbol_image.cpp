#include "app/ui/symbols/symbol_image.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <atomic>
#include <cmath>

#include "app/ui/symbols/symbol_catalog.h"

namespace korvane::ui {

namespace {

std::atomic<SymbolSource> gSource{SymbolSource::ThemeFirst};

QImage renderSvg(const QString& path, int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    return image;
}

// Keeps the image's coverage and paints it in `colour`.
QImage silhouette(QImage image, const QColor& colour) {
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

std::optional<QIcon> themeIcon(std::string_view symbol, bool symbolic) {
    if (gSource.load() != SymbolSource::ThemeFirst) return std::nullopt;
    auto themeName = themeNameFor(symbol);
    if (!themeName) return std::nullopt;
    QString name = QString::fromUtf8(themeName->data(), static_cast<qsizetype>(themeName->size()));
    if (symbolic) name += QStringLiteral("-symbolic");
    if (!QIcon::hasThemeIcon(name)) return std::nullopt;
    return QIcon::fromTheme(name);
}

int devicePixels(int logicalSize, qreal devicePixelRatio) {
    return std::max(1, static_cast<int>(std::lround(logicalSize * devicePixelRatio)));
}

QPixmap fromImage(const QImage& image, qreal devicePixelRatio) {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPixmap drawSymbol(std::string_view name, int pixels, qreal devicePixelRatio,
                   std::optional<QColor> tint) {
    if (auto icon = themeIcon(name, tint.has_value())) {
        QImage image = icon->pixmap(QSize(pixels, pixels))
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull())
            return fromImage(tint ? silhouette(image, *tint) : image, devicePixelRatio);
    }
    QImage image = renderSvg(bundledSymbolPath(name), pixels);
    return fromImage(silhouette(image, tint.value_or(QColor(0x3c, 0x3c, 0x43))), devicePixelRatio);
}

}  // namespace

void setSymbolSource(SymbolSource source) {
    gSource.store(source);
}
SymbolSource symbolSource() {
    return gSource.load();
}

QString bundledSymbolPath(std::string_view name) {
    return QStringLiteral(":/korvane/symbols/") + qtText(name) + QStringLiteral(".svg");
}

bool hasBundledSymbol(std::string_view name) {
    return QFile::exists(bundledSymbolPath(name));
}

QPixmap symbolPixmap(std::string_view name, int logicalSize, qreal devicePixelRatio,
                     std::optional<QColor> tint) {
    int pixels = devicePixels(logicalSize, devicePixelRatio);
    // Views repaint their symbols often; drawing the SVG each time would show.
    QString key = QStringLiteral("korvane-symbol:%1:%2:%3:%4:%5:%6")
                      .arg(qtText(name))
                      .arg(pixels)
                      .arg(devicePixelRatio)
                      .arg(tint ? tint->name(QColor::HexArgb) : QStringLiteral("-"))
                      .arg(static_cast<int>(gSource.load()))
                      .arg(QIcon::themeName());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap)) return pixmap;
    pixmap = drawSymbol(name, pixels, devicePixelRatio, tint);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon symbolIcon(std::string_view name) {
    if (auto icon = themeIcon(name, false)) return *icon;
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addPixmap(symbolPixmap(name, size, 1.0));
    return icon;
}

QIcon symbolIcon(std::string_view name, int logicalSize, const QColor& tint) {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) icon.addPixmap(symbolPixmap(name, logicalSize, ratio, tint));
    return icon;
}

QPixmap appLogoPixmap(int logicalSize, qreal devicePixelRatio) {
    return fromImage(
        renderSvg(bundledSymbolPath(kAppLogo), devicePixels(logicalSize, devicePixelRatio)),
        devicePixelRatio);
}

}  // namespace korvane::ui
