#pragma once
// The foreground colour an XEmbed system tray asks its icons to draw in: the
// _NET_SYSTEM_TRAY_COLORS property of the tray's manager window. Trays that
// do not say leave the choice to us.
#include <QColor>
#include <optional>

namespace korvane::linux_platform {

std::optional<QColor> xembedTrayForeground();

}  // namespace korvane::linux_platform
