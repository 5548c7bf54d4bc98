#include "app/ui/popover/ui_text.h"

#include <cmath>
#include <limits>

namespace korvane::ui {

QString uiText(std::string_view key) { return QString::fromStdString(app::localized(key)); }

QString uiFormat(std::string_view key, const std::vector<app::FormatArgument>& arguments) {
    return QString::fromStdString(app::StringTable::compiledIn().format(key, arguments));
}

std::int64_t truncated(double value) {
    if (!std::isfinite(value)) return 0;
    constexpr double limit = static_cast<double>(std::numeric_limits<std::int64_t>::max());
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int64_t percentOf(double fraction) { return truncated(fraction * 100.0); }

}  // namespace korvane::ui
