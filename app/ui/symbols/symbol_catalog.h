#pragma once
// The symbol names the views use (SF Symbols names, so every view names its
// images the same way) and, for each, the freedesktop icon-theme name that
// stands for it and the drawing bundled with the program. Adding a symbol is
// one row in the catalogue and one SVG in icons/ (24 x 24, black on
// transparent); the symbol test checks that they match.
#include <optional>
#include <span>
#include <string_view>

namespace korvane::ui {

struct SymbolInfo {
    std::string_view name;       // the views' name, e.g. "checkmark.seal.fill"
    std::string_view themeName;  // the icon theme's name, e.g. "emblem-ok"
};

std::span<const SymbolInfo> symbolCatalog();

// The theme name of a catalogued symbol.
std::optional<std::string_view> themeNameFor(std::string_view symbol);

// The application's logo, a coloured image rather than a symbol.
inline constexpr std::string_view kAppLogo = "AppLogo";

}  // namespace korvane::ui
