#pragma once
// Desktop environments start each application in a systemd unit named after
// its desktop application ID; this reads the ID back out of such a name.
#include <optional>
#include <string>
#include <string_view>

namespace korvane::identity {

// Undoes systemd's \xNN escapes ("\x2d" is "-"). Nothing when an escape is
// malformed.
std::optional<std::string> unescapeUnitName(std::string_view escaped);

// The application ID of
//   app[-<launcher>]-<ID>[@<RANDOM>].service
//   app[-<launcher>]-<ID>-<RANDOM>.scope
//   app-flatpak-<ID>-<pid>.scope
// or nothing when the name follows none of these forms.
std::optional<std::string> appIDFromUnitName(std::string_view unit);

}  // namespace korvane::identity
