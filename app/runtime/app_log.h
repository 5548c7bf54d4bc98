#pragma once
// The application's log lines, one per event, through the shared sink that
// tests capture. Every line of the application begins with "Korvane: ", the
// fan manager's with "FanManager: ".
#include <string_view>

namespace korvane::app {

// Writes "Korvane: " followed by `message`.
void logLine(std::string_view message);

// Writes "FanManager: " followed by `message`.
void logFanLine(std::string_view message);

}  // namespace korvane::app
