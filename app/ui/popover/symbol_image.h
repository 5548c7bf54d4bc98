#pragma once
// The popover's symbols, by the symbol names the design uses ("bolt.fill"),
// drawn monochrome in a colour of the caller's choice.
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <string_view>

namespace korvane::ui {

// The symbol at `size` logical pixels for a screen of `devicePixelRatio`,
// every opaque pixel painted `color`.
QPixmap symbolPixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// The symbol as an icon for buttons, in `color`.
QIcon symbolIcon(std::string_view name, const QColor& color, int size = 16);

}  // namespace korvane::ui
