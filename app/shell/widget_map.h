#pragma once
// Test-only: where each named button of the visible windows is on screen,
// written to a file so an end-to-end test can click it with xdotool.
// Started only when KORVANE_TEST_WIDGET_MAP names the file.
#include <QString>

namespace korvane::app {

inline constexpr const char* kWidgetMapVariable = "KORVANE_TEST_WIDGET_MAP";

// Rewrites `path` every half second while anything changed: one line
// "<objectName> <x> <y> <width> <height>" per visible named button, in
// screen coordinates.
void startWidgetMapWriter(const QString& path);

}  // namespace korvane::app
