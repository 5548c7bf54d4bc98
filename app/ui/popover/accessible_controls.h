#pragma once
// What assistive tools (over AT-SPI) are told about the popover's painted
// controls. A switch is a check box whose toggle and press actions click it:
// Qt's own toggle flips the switch without a click, so its manager never
// heard of it. A core bar is a level from 0 to 100 per cent rather than an
// anonymous pane, a core group a group. Installed once, by the first such
// control made.
namespace korvane::ui {

void installAccessibleControls();

}  // namespace korvane::ui
