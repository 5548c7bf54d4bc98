#pragma once
// Random (version 4) UUIDs in their standard 36-character text form, upper
// case as the settings and notification identifiers have always carried them.
#include <string>
#include <string_view>

namespace korvane::app {

std::string makeUUID();

// Whether `text` is a UUID in the 8-4-4-4-12 hexadecimal form, either case.
bool isUUIDText(std::string_view text);

}  // namespace korvane::app
