#pragma once
// The marks a sandbox or a launcher leaves on a process, read from the texts
// /proc gives for it.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace korvane::identity {

// The contents of a Flatpak sandbox's /.flatpak-info: the "name" key of the
// [Application] group.
std::optional<std::string> flatpakAppID(std::string_view info);

// The AppArmor profile of an attr/current label ("snap.firefox.firefox
// (enforce)" gives "snap.firefox.firefox"), only when it is a snap's.
std::optional<std::string> snapProfile(std::string_view label);

// "snap.<name>.<app>" gives "<name>_<app>"; hooks and other snap profiles give
// nothing.
std::optional<std::string> snapAppID(std::string_view profile);

// The value of one variable in /proc/PID/environ (NUL-separated).
std::optional<std::string_view> environValue(std::string_view environ, std::string_view name);

// GIO_LAUNCHED_DESKTOP_FILE, but only when GIO_LAUNCHED_DESKTOP_FILE_PID names
// `pid`: children inherit both variables and must not pass for the launched
// application.
std::optional<std::string> launchedDesktopFile(std::string_view environ, pid_t pid);

}  // namespace korvane::identity
