#include <gtest/gtest.h>

#include <QImage>

#include "app/ui/symbols/app_icon_picture.h"
#include "app/ui/symbols/symbol_catalog.h"
#include "app/ui/symbols/symbol_image.h"
#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

// Share of pixels that are not transparent.
double coverage(const QPixmap& pixmap) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 40;
    }
    return double(inked) / (image.width() * image.height());
}

// Whether every opaque pixel is exactly `colour`.
bool opaqueOnlyIn(const QPixmap& pixmap, QRgb colour) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 255 && image.pixel(x, y) != colour) return false;
        }
    }
    return true;
}

// A running application's icon: the entry's icon where it resolves, else the
// window's own pixels, else none (the view draws the letter tile).
TEST(AppIconPicture, TheEntrysIconWinsWhereItResolvesThenTheWindowsPixels) {
    testing::FixtureTree tree;
    QImage blue(4, 4, QImage::Format_ARGB32);
    blue.fill(qRgb(0, 0, 255));
    const std::string file = tree.path("entry-icon.png");
    ASSERT_TRUE(blue.save(QString::fromStdString(file)));
    const app::AppIcon red{"", 2, 2, std::vector<std::uint32_t>(4, 0xffff0000U)};
    auto colourOf = [](const QIcon& icon) { return icon.pixmap(4, 4).toImage().pixel(1, 1); };

    app::AppIcon icon = red;
    icon.themeNameOrPath = file;
    EXPECT_EQ(colourOf(appIconPicture(icon)), qRgb(0, 0, 255));
    for (const char* unresolved : {"no-theme-has-this-icon", "/no/such/icon.png"}) {
        icon.themeNameOrPath = unresolved;
        EXPECT_EQ(colourOf(appIconPicture(icon)), qRgb(255, 0, 0)) << unresolved;
    }
    EXPECT_TRUE(appIconPicture(app::AppIcon{"no-theme-has-this-icon", 0, 0, {}}).isNull());
}

class ThemeSymbols : public ::testing::Test {
  protected:
    void TearDown() override {
        setSymbolSource(SymbolSource::BundledOnly);
        QIcon::setThemeName(previousTheme);
        QIcon::setThemeSearchPaths(previousPaths);
    }
    QString previousTheme = QIcon::themeName();
    QStringList previousPaths = QIcon::themeSearchPaths();
};

// Bundled, drawn in the tint asked for, and never blank where the desktop
// has no icon theme.
TEST_F(ThemeSymbols, EveryCataloguedSymbolIsBundledTintedAndNeverBlank) {
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    for (const SymbolInfo& info : symbolCatalog()) {
        SCOPED_TRACE(std::string(info.name));
        ASSERT_TRUE(hasBundledSymbol(info.name));
        setSymbolSource(SymbolSource::BundledOnly);
        QPixmap pixmap = symbolPixmap(info.name, 24, 2.0, QColor(Qt::red));
        EXPECT_EQ(pixmap.size(), QSize(48, 48));
        double inked = coverage(pixmap);
        EXPECT_GT(inked, 0.05);
        EXPECT_LT(inked, 0.9);
        EXPECT_TRUE(opaqueOnlyIn(pixmap, qRgb(255, 0, 0)));
        setSymbolSource(SymbolSource::ThemeFirst);
        EXPECT_GT(coverage(symbolPixmap(info.name, 16, 1.0)), 0.05);
        EXPECT_GT(coverage(symbolPixmap(info.name, 16, 1.0, QColor(Qt::green))), 0.05);
        EXPECT_FALSE(symbolIcon(info.name).pixmap(16).isNull());
    }
    EXPECT_TRUE(hasBundledSymbol(kAppLogo));
    EXPECT_GT(coverage(appLogoPixmap(64, 1.0)), 0.8);
    EXPECT_EQ(coverage(symbolPixmap("no.such.symbol", 16, 1.0)), 0.0);
}

TEST_F(ThemeSymbols, AThemesSymbolicImageIsTintedAndItsOwnDrawingUsedOtherwise) {
    // The offscreen platform names no search paths of its own.
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    setSymbolSource(SymbolSource::ThemeFirst);
    if (!QIcon::hasThemeIcon(QStringLiteral("object-select-symbolic")))
        GTEST_SKIP() << "no Adwaita icon theme";
    QImage themed = symbolPixmap("checkmark", 24, 1.0, QColor(Qt::red)).toImage();
    setSymbolSource(SymbolSource::BundledOnly);
    QImage bundled = symbolPixmap("checkmark", 24, 1.0, QColor(Qt::red)).toImage();
    EXPECT_NE(themed, bundled);
    EXPECT_GT(coverage(QPixmap::fromImage(themed)), 0.05);
    EXPECT_TRUE(opaqueOnlyIn(QPixmap::fromImage(themed), qRgb(255, 0, 0)));
}

}  // namespace
}  // namespace korvane::ui
