#pragma once
// The string table's texts as Qt strings. The views' literal texts are their
// own keys, so a missing translation shows the English text.
#include <QString>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/runtime/string_table.h"

namespace korvane::ui {

QString uiText(std::string_view key);
QString uiFormat(std::string_view key, const std::vector<app::FormatArgument>& arguments);

// A measured value as the interface shows it: truncated toward zero, and 0
// for a value that is not a finite number.
std::int64_t truncated(double value);
// `fraction` × 100, truncated; for usage fractions.
std::int64_t percentOf(double fraction);

}  // namespace korvane::ui
