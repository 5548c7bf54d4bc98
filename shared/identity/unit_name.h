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

// The systemd units a process's cgroup places it in, as systemd itself
// reads them from /proc/PID/cgroup: the system manager's unit (the first
// path component after the slices), and, inside a user's manager
// (user@UID.service), the user manager's unit found the same way.
struct CgroupUnits {
    std::optional<std::string> systemUnit;
    std::optional<std::string> userUnit;
};
CgroupUnits unitsFromCgroup(std::string_view cgroupText);

}  // namespace korvane::identity
