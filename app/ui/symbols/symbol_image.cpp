#include "app/ui/symbols/symbol_image.h"

#include <QFile>
#include <QImage>
#include <QPainter>
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

}  // namespace

void setSymbolSource(SymbolSource source) { gSource.store(source); }
SymbolSource symbolSource() { return gSource.load(); }

QString bundledSymbolPath(std::string_view name) {
    return QStringLiteral(":/korvane/symbols/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           QStringLiteral(".svg");
}

bool hasBundledSymbol(std::string_view name) { return QFile::exists(bundledSymbolPath(name)); }

QPixmap symbolPixmap(std::string_view name, int logicalSize, qreal devicePixelRatio, std::optional<QColor> tint) {
    int pixels = devicePixels(logicalSize, devicePixelRatio);
    if (auto icon = themeIcon(name, tint.has_value())) {
        QImage image = icon->pixmap(QSize(pixels, pixels)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull()) return fromImage(tint ? silhouette(image, *tint) : image, devicePixelRatio);
    }
    QImage image = renderSvg(bundledSymbolPath(name), pixels);
    return fromImage(silhouette(image, tint.value_or(QColor(0x3c, 0x3c, 0x43))), devicePixelRatio);
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
    return fromImage(renderSvg(bundledSymbolPath(kAppLogo), devicePixels(logicalSize, devicePixelRatio)),
                     devicePixelRatio);
}

}  // namespace korvane::ui
