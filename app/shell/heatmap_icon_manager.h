#pragma once
// The live per-core heatmap drawn as the tray icon: one rounded cell per core
// in a grid of four columns, P-cores first, coloured by usage from dark grey
// through blue and orange to red. On a dark panel the idle grey would all but
// vanish, so there idle cores are drawn in a light grey instead. Where one row
// per four cores would make the cells shorter than a pixel (more than 36 cores
// in 18 points), each cell stands for the same column of several consecutive
// rows and shows their mean usage.
#include <QColor>
#include <QRectF>
#include <vector>

#include "app/monitors/core_usage.h"
#include "app/shell/tray_image.h"

namespace korvane::app {

class HeatmapIconManager {
public:
    static constexpr int kColumns = 4;
    static constexpr qreal kGap = 1.0;
    static constexpr qreal kCornerRadius = 1.0;

    // An image whose drawing is the heatmap of these cores; `size` is the
    // logical size it is meant for (the tray may render it at another).
    static TrayImagePtr createHeatmapImage(std::vector<CoreUsage> pCores, std::vector<CoreUsage> eCores,
                                           QSizeF size = QSizeF(18, 18));

    // The cells of `count` cores in a rectangle of `size`, in drawing order,
    // top-left origin. Empty for no cores. Cell i covers column i % 4 of the
    // rows (i / 4) * rowsPerCell up to the next rowsPerCell.
    static std::vector<QRectF> cellRects(int count, QSizeF size);
    // How many rows of four cores one cell stands for: 1 while every row gets
    // at least one unit of height.
    static int rowsPerCell(int count, QSizeF size);

    // A usage's colour; non-finite usage counts as idle, anything outside
    // 0...1 as the nearest end.
    static QColor color(double usage);
    // The same on a panel whose icons draw in `panelForeground`: a light
    // foreground means a dark panel, where idle cores take kIdleOnDarkPanel.
    static QColor color(double usage, const QColor& panelForeground);
    static bool panelIsDark(const QColor& panelForeground) { return panelForeground.lightnessF() > 0.5; }
    // White level 0.6: clear of dark panels, yet still the palest of the bands.
    static constexpr float kIdleOnDarkPanel = 0.6f;
};

// The drawing HeatmapIconManager hands out.
class HeatmapImage final : public TrayImage {
public:
    HeatmapImage(std::vector<CoreUsage> pCores, std::vector<CoreUsage> eCores, QSizeF size);
    bool paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const override;
    QSizeF size() const { return size_; }
    const std::vector<double>& usages() const { return usages_; }

private:
    std::vector<double> usages_;  // P-cores, then E-cores
    QSizeF size_;
};

}  // namespace korvane::app
