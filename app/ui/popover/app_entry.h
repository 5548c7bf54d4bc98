#pragma once
// A running application as the popover draws it: its identity (the pid), its
// name and its icon, converted once from the focus engine's record.
#include <QIcon>
#include <QString>
#include <cstdint>
#include <vector>

#include "app/focus/workspace.h"

namespace korvane::ui {

struct AppEntry {
    std::int32_t id = 0;
    QString name;
    QIcon icon;  // null when the application has none
};

// The workspace's icon data as an icon (see appIconPicture).
QIcon iconFromAppIcon(const app::AppIcon& icon);

}  // namespace korvane::ui
