#include "app/ui/popover/app_entry.h"

#include "app/ui/symbols/app_icon_picture.h"

namespace korvane::ui {

QIcon iconFromAppIcon(const app::AppIcon& icon) { return appIconPicture(icon); }

}  // namespace korvane::ui
