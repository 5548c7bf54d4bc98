#pragma once
// A running application's icon as the workspace reports it, made drawable.
#include <QIcon>

#include "app/focus/workspace.h"

namespace korvane::ui {

// The desktop entry's icon where the icon theme (or the file it names) has
// it; else the window's own pixels (_NET_WM_ICON); else a null icon, and the
// view draws its stand-in (the letter tile).
QIcon appIconPicture(const app::AppIcon& icon);

}  // namespace korvane::ui
