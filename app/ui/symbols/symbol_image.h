#pragma once
// Drawing a symbol. A tinted symbol stands in for a colour-coded mark (a
// green check, a red cross), so it is drawn as a silhouette in that colour:
// from the theme's "-symbolic" image when the theme has one (those are
// monochrome by design), else from the bundled drawing. An untinted symbol
// takes the theme's full-colour image when there is one. A machine without
// any icon theme therefore still shows every symbol.
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <optional>
#include <string_view>

namespace korvane::ui {

enum class SymbolSource {
    ThemeFirst,   // the icon theme's images where it has them
    BundledOnly,  // always the drawings compiled in (stable renders for tests)
};

// Process-wide; ThemeFirst unless changed.
void setSymbolSource(SymbolSource source);
SymbolSource symbolSource();

// ":/korvane/symbols/<name>.svg"
QString bundledSymbolPath(std::string_view name);
bool hasBundledSymbol(std::string_view name);

// The symbol at `logicalSize` device-independent pixels for a screen of
// `devicePixelRatio`; transparent when the name is unknown.
QPixmap symbolPixmap(std::string_view name, int logicalSize, qreal devicePixelRatio,
                     std::optional<QColor> tint = std::nullopt);

// An icon for buttons and menus: untinted, theme first; with a tint, the
// silhouette at `logicalSize` for 1x and 2x screens.
QIcon symbolIcon(std::string_view name);
QIcon symbolIcon(std::string_view name, int logicalSize, const QColor& tint);

// The application's coloured logo.
QPixmap appLogoPixmap(int logicalSize, qreal devicePixelRatio);

}  // namespace korvane::ui
