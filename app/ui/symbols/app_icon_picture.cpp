#include "app/ui/symbols/app_icon_picture.h"

#include <QFileInfo>
#include <QImage>
#include <QPixmap>

namespace korvane::ui {

QIcon appIconPicture(const app::AppIcon& icon) {
    if (!icon.themeNameOrPath.empty()) {
        const QString name = QString::fromStdString(icon.themeNameOrPath);
        // An entry may name an icon no installed theme has: that is no icon.
        if (QFileInfo(name).isAbsolute()) {
            if (QFileInfo(name).isFile()) return QIcon(name);
        } else if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    const auto pixelCount = static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height);
    if (icon.width <= 0 || icon.height <= 0 || icon.argb.size() < pixelCount) return {};
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < icon.width; ++x) line[x] = icon.argb[static_cast<std::size_t>(y * icon.width + x)];
    }
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace korvane::ui
