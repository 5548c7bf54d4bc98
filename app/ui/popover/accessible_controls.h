#pragma once
// What assistive tools (over AT-SPI) are told about the popover's painted
// controls, which Qt would otherwise present as plain push buttons or
// anonymous panes: a switch is a check box that toggles, a core bar a level
// from 0 to 100 per cent, a core group a group. Installed once, by the first
// such control made.
namespace korvane::ui {

void installAccessibleControls();

}  // namespace korvane::ui
