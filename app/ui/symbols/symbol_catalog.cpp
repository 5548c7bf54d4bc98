#include "app/ui/symbols/symbol_catalog.h"

#include <algorithm>
#include <array>

namespace korvane::ui {

namespace {

// Names from the freedesktop Icon Naming rules where it has one,
// else names the common themes (Adwaita, Breeze, Papirus) ship.
constexpr std::array<SymbolInfo, 33> kCatalog{{
    {"app.badge.fill", "application-x-executable"},
    {"arrow.clockwise", "view-refresh"},
    {"arrow.clockwise.circle.fill", "system-reboot"},
    {"arrow.down.circle", "go-down"},
    {"arrow.down.circle.fill", "folder-download"},
    {"arrow.left", "go-previous"},
    {"arrow.right", "go-next"},
    {"arrow.right.circle.fill", "go-next"},
    {"bolt.circle.fill", "system-run"},
    {"bolt.fill", "weather-storm"},
    {"bolt.heart.fill", "korvane"},
    {"chart.bar.fill", "utilities-system-monitor"},
    {"checkmark", "object-select"},
    {"checkmark.circle.fill", "emblem-ok"},
    {"checkmark.seal.fill", "emblem-default"},
    {"checkmark.shield.fill", "security-high"},
    {"cpu", "cpu"},
    {"cursorarrow.click.2", "input-mouse"},
    {"desktopcomputer", "computer"},
    {"fan.fill", "fan"},
    {"gear", "emblem-system"},
    {"gearshape.2.fill", "preferences-system"},
    {"hand.tap.fill", "input-touchscreen"},
    {"info.circle.fill", "dialog-information"},
    {"leaf.fill", "power-profile-power-saver"},
    {"lightbulb.fill", "help-hint"},
    {"lock.fill", "changes-prevent"},
    {"lock.shield.fill", "system-lock-screen"},
    {"memorychip", "media-memory"},
    {"shield.lefthalf.filled", "security-medium"},
    {"speedometer", "power-profile-performance"},
    {"wand.and.stars", "tools-wizard"},
    {"xmark.circle.fill", "dialog-error"},
}};

static_assert(std::is_sorted(kCatalog.begin(), kCatalog.end(),
                             [](const SymbolInfo& a, const SymbolInfo& b) {
                                 return a.name < b.name;
                             }),
              "the catalogue is kept in name order for lookup");

}  // namespace

std::span<const SymbolInfo> symbolCatalog() {
    return kCatalog;
}

std::optional<std::string_view> themeNameFor(std::string_view symbol) {
    auto it = std::lower_bound(
        kCatalog.begin(), kCatalog.end(), symbol,
        [](const SymbolInfo& info, std::string_view name) { return info.name < name; });
    if (it == kCatalog.end() || it->name != symbol) return std::nullopt;
    return it->themeName;
}

}  // namespace korvane::ui
