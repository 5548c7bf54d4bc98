#pragma once
// Reading sway's answers: the layout tree (GET_TREE) as the window list and
// the window in front, and which events change either.
#include <string>
#include <string_view>

#include "platform/linux/workspace/window_report.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

// Every view of the tree (Wayland windows by app_id, Xwayland windows by
// their class), in tree order, and the focused one: the focused view, or the
// one a focused container or workspace last focused; nothing when the
// focused workspace is empty.
Expected<WindowReport, std::string> parseSwayTree(std::string_view json, const ReportLimits& limits);

// Whether a window or workspace event can change the windows or the front:
// new, closed and focused windows and workspaces do; titles, marks and
// urgency do not.
Expected<bool, std::string> eventMatters(std::string_view json);

}  // namespace korvane::linux_platform
