// The heatmap's grid and colours, rendered to pixels, and the popover's
// placement at the tray icon.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QScreen>

#include "app/shell/heatmap_icon_manager.h"
#include "app/shell/popover.h"
#include "app/shell/symbol_image.h"
#include "tests/shell/core_list.h"

namespace korvane::app {
namespace {

// Past nine rows of four in 18 points a cell would be under a point high (and
// past 76 cores, of negative height): each cell then covers several rows.
TEST(HeatmapGeometry, UpTo256CoresEveryCellIsAUnitHighInsideTheIconAndEveryCoreIsDrawnOnce) {
    const QSizeF size(18, 18);
    for (int count : {36, 37, 64, 76, 77, 256}) {
        SCOPED_TRACE(count);
        const auto cells = HeatmapIconManager::cellRects(count, size);
        const int group = HeatmapIconManager::rowsPerCell(count, size);
        int drawn = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            EXPECT_GE(cells[i].height(), 1.0);
            EXPECT_GE(cells[i].top(), 0.0);
            EXPECT_LE(cells[i].bottom(), 18.0 + 1e-9);
            if (i >= 4) {
                EXPECT_GE(cells[i].top(), cells[i - 4].bottom() + 1.0 - 1e-9);
            }
            for (int row = static_cast<int>(i) / 4 * group; row < (static_cast<int>(i) / 4 + 1) * group; ++row)
                drawn += row * 4 + static_cast<int>(i) % 4 < count;
        }
        EXPECT_EQ(drawn, count);
    }
}

TEST(HeatmapPixels, ACellCoveringSeveralRowsShowsTheirMeanUsage) {
    // Two rows fit in 3 points: twelve cores make three rows, drawn as two.
    std::vector<double> usages(12, 0.0);
    usages[4] = 1.0;  // below core 0, in the same column
    auto image = HeatmapIconManager::createHeatmapImage(testing::coreList(usages), {}, QSizeF(18, 3));
    const QImage pixels = image->render(QSize(36, 6), 2.0, Qt::black);
    const auto cells = HeatmapIconManager::cellRects(12, QSizeF(18, 3));
    ASSERT_EQ(cells.size(), 8u);
    EXPECT_EQ(pixels.pixel((cells[0].center() * 2).toPoint()), qRgb(204, 153, 51));  // mean 0.5
    EXPECT_EQ(pixels.pixel((cells[1].center() * 2).toPoint()), qRgb(51, 51, 51));
}

// Samples outside the contract draw as the nearest end, never garbage.
TEST(HeatmapColour, SamplesOutsideZeroToOneDrawAsTheNearestEnd) {
    EXPECT_EQ(HeatmapIconManager::color(std::nan("")), HeatmapIconManager::color(0.0));
    EXPECT_EQ(HeatmapIconManager::color(1.7), HeatmapIconManager::color(1.0));
}

// Each core's colour, in drawing order, and the gaps are in the cores-N
// reference renders, whose rows are all full; here a last row's empty end and
// no cores at all stay clear.
TEST(HeatmapPixels, ALastRowsEmptyEndAndNoCoresStayClear) {
    auto image = HeatmapIconManager::createHeatmapImage(testing::coreList({0.2, 0.5, 1.0, 1.0}),
                                                        testing::coreList({1.0, 1.0}, false));
    const QImage pixels = image->render(QSize(36, 36), 2.0, Qt::black);
    const auto cells = HeatmapIconManager::cellRects(6, QSizeF(18, 18));
    EXPECT_NE(qAlpha(pixels.pixel((cells[3].center() * 2).toPoint())), 0);
    EXPECT_EQ(qAlpha(pixels.pixel((cells[3].center() * 2).toPoint() + QPoint(0, 18))), 0);

    const QImage blank = HeatmapIconManager::createHeatmapImage({}, {})->render(QSize(18, 18), 1.0, Qt::black);
    for (int y = 0; y < blank.height(); ++y)
        for (int x = 0; x < blank.width(); ++x) ASSERT_EQ(qAlpha(blank.pixel(x, y)), 0);
}

TEST(SymbolPixels, TheIdleSymbolTakesTheForegroundColour) {
    const SymbolImage symbol(QStringLiteral("Korvane"));
    const QImage pixels = symbol.render(QSize(48, 48), 1.0, QColor(200, 10, 10));
    int opaque = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const QRgb p = pixels.pixel(x, y);
            if (qAlpha(p) < 255) continue;
            ++opaque;
            ASSERT_EQ(qRgb(qRed(p), qGreen(p), qBlue(p)), qRgb(200, 10, 10));
        }
    }
    EXPECT_GT(opaque, 48 * 48 / 5);  // a heart, not a speck
    // The bolt is cut out of the heart's middle.
    EXPECT_EQ(qAlpha(pixels.pixel(24, 24)), 0);
}

// Where it opens at an icon in a top or a bottom panel, the tray's desktop
// tests check on real desktops; here what they cannot show.
TEST(PopoverPlacement, TallerThanTheWorkAreaItIsPinnedToItsTop) {
    const QRect available(0, 24, 1280, 776);  // a 24 px panel at the top
    EXPECT_EQ(popoverPosition(QRect(640, 0, 10, 10), QSize(300, 900), available).y(), 24);
}

// Content that wants a height, and may change its mind while shown.
class Wanting final : public QWidget {
public:
    QSize sizeHint() const override { return {300, wanted}; }
    int wanted = 120;
};

TEST(PopoverSize, ThreeHundredWideFollowingItsContentButNoTallerThanTheScreenLessForty) {
    Popover popover;
    auto* content = new Wanting;
    popover.setContent(content);
    popover.showAt(QRect(10, 10, 22, 22));
    const QRect available = popover.screen()->availableGeometry();
    EXPECT_EQ(popover.size(), QSize(300, 120));
    EXPECT_TRUE(popover.isShown());

    // A reconnect brings the main view back in place of a small card.
    content->wanted = 5000;
    content->updateGeometry();
    QApplication::processEvents();
    EXPECT_EQ(popover.width(), 300);
    EXPECT_EQ(popover.height(), available.height() - 40);
    popover.close();
    EXPECT_FALSE(popover.isShown());
}

}  // namespace
}  // namespace korvane::app
