#include "app/shell/heatmap_icon_manager.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace korvane::app {

TrayImagePtr HeatmapIconManager::createHeatmapImage(std::vector<CoreUsage> pCores, std::vector<CoreUsage> eCores,
                                                    QSizeF size) {
    return std::make_shared<HeatmapImage>(std::move(pCores), std::move(eCores), size);
}

int HeatmapIconManager::rowsPerCell(int count, QSizeF size) {
    if (count < 1) return 1;
    const int rows = (count + kColumns - 1) / kColumns;
    // The most rows whose cells stay a unit high with a gap between each two.
    const int fitting = std::max(1, static_cast<int>(std::floor((size.height() + kGap) / (1.0 + kGap))));
    return (rows + fitting - 1) / fitting;
}

std::vector<QRectF> HeatmapIconManager::cellRects(int count, QSizeF size) {
    std::vector<QRectF> cells;
    if (count < 1) return cells;
    const int group = rowsPerCell(count, size);
    const int coresPerRow = kColumns * group;
    // A cell exists where the first of its rows has a core in its column.
    const int rows = (count + coresPerRow - 1) / coresPerRow;
    const qreal cellWidth = (size.width() - kGap * (kColumns - 1)) / kColumns;
    const qreal cellHeight = (size.height() - kGap * (rows - 1)) / rows;
    for (int row = 0; row < rows; ++row) {
        // Row 0 is the top row: the first cores read first, left to right.
        for (int column = 0; column < kColumns && row * coresPerRow + column < count; ++column) {
            cells.emplace_back((cellWidth + kGap) * column, (cellHeight + kGap) * row, cellWidth, cellHeight);
        }
    }
    return cells;
}

QColor HeatmapIconManager::color(double usage) {
    const double u = std::isfinite(usage) ? std::clamp(usage, 0.0, 1.0) : 0.0;
    if (u < 0.15) return QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f);
    if (u < 0.5) {
        const double t = (u - 0.15) / 0.35;
        return QColor::fromRgbF(static_cast<float>(0.2 + 0.6 * t), static_cast<float>(0.4 + 0.2 * t),
                                static_cast<float>(0.8 - 0.6 * t), 1.0f);
    }
    const double t = 2 * (u - 0.5);
    return QColor::fromRgbF(static_cast<float>(0.8 + 0.2 * t), static_cast<float>(0.6 - 0.6 * t),
                            static_cast<float>(std::max(0.0, 0.2 - 0.2 * t)), 1.0f);
}

QColor HeatmapIconManager::color(double usage, const QColor& panelForeground) {
    const QColor regular = color(usage);
    if (!panelIsDark(panelForeground) || regular != color(0.0)) return regular;
    return QColor::fromRgbF(kIdleOnDarkPanel, kIdleOnDarkPanel, kIdleOnDarkPanel, 1.0f);
}

HeatmapImage::HeatmapImage(std::vector<CoreUsage> pCores, std::vector<CoreUsage> eCores, QSizeF size) : size_(size) {
    usages_.reserve(pCores.size() + eCores.size());
    for (const auto& core : pCores) usages_.push_back(core.usage);
    for (const auto& core : eCores) usages_.push_back(core.usage);
}

bool HeatmapImage::paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const {
    const int count = static_cast<int>(usages_.size());
    const auto cells = HeatmapIconManager::cellRects(count, rect.size());
    if (cells.empty()) return false;
    const int group = HeatmapIconManager::rowsPerCell(count, rect.size());
    constexpr int kColumns = HeatmapIconManager::kColumns;
    painter.save();
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        // The mean of the cell's column over its rows.
        const int cell = static_cast<int>(i);
        const int firstRow = cell / kColumns * group;
        double sum = 0.0;
        int cores = 0;
        for (int row = firstRow; row < firstRow + group; ++row) {
            const int core = row * kColumns + cell % kColumns;
            if (core >= count) break;
            sum += std::isfinite(usages_[static_cast<std::size_t>(core)]) ? usages_[static_cast<std::size_t>(core)] : 0.0;
            ++cores;
        }
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.addRoundedRect(cells[i].translated(rect.topLeft()), HeatmapIconManager::kCornerRadius,
                            HeatmapIconManager::kCornerRadius);
        painter.fillPath(path, HeatmapIconManager::color(sum / cores, foreground));
    }
    painter.restore();
    return true;
}

}  // namespace korvane::app
