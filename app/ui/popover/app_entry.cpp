#include "app/ui/popover/app_entry.h"

#include <QFileInfo>
#include <QImage>
#include <QPixmap>

namespace korvane::ui {

QIcon iconFromAppIcon(const app::AppIcon& icon) {
    const auto pixelCount = static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height);
    if (icon.width > 0 && icon.height > 0 && icon.argb.size() >= pixelCount) {
        QImage image(icon.width, icon.height, QImage::Format_ARGB32);
        for (int y = 0; y < icon.height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < icon.width; ++x) line[x] = icon.argb[static_cast<std::size_t>(y * icon.width + x)];
        }
        return QIcon(QPixmap::fromImage(image));
    }
    if (icon.themeNameOrPath.empty()) return {};
    const QString name = QString::fromStdString(icon.themeNameOrPath);
    if (name.startsWith('/')) return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    return QIcon::fromTheme(name);
}

}  // namespace korvane::ui
