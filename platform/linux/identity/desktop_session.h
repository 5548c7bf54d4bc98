#pragma once
// The desktop's own processes on this machine, by the rule of
// shared/identity/desktop_session_rule.h: read from /proc (a process's
// program, its open sockets, the listening display sockets) and from the
// system's autostart folders. Everything read is the kernel's or the
// system's: a program's name as the kernel links it, socket links, and
// root's own folders; nothing a user can point elsewhere. Thread-safe.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shared/identity/desktop_entry.h"

namespace korvane::identity {

struct DesktopSessionConfig {
    std::string procRoot = "/proc";
    // Folders of the system's autostart entries.
    std::vector<std::string> autostartFolders;

    // $XDG_CONFIG_DIRS (or /etc/xdg), each with /autostart.
    static DesktopSessionConfig fromEnvironment();
};

class DesktopSession {
public:
    explicit DesktopSession(DesktopSessionConfig config);

    // Whether `pid` is one of the desktop's own processes. `entry` gives the
    // desktop entry of its application when it has one; it is asked only
    // when the cheaper signs said nothing.
    bool isDesktopProcess(pid_t pid, const std::function<std::optional<DesktopEntry>()>& entry);

private:
    // The name of the program's file, or the kernel's name for the process.
    std::optional<std::string> programOf(pid_t pid) const;
    bool listensOnTheDisplay(pid_t pid);
    // Programs that system autostart entries with a session role start.
    const std::set<std::string>& autostartPrograms();

    DesktopSessionConfig config_;
    std::mutex mutex_;
    std::vector<std::int64_t> autostartStamps_;  // the folders' modification times when read
    std::set<std::string> autostartPrograms_;
    // Whether a process (by pid and start time) listens on the display's
    // socket: one look at its descriptors per process.
    std::map<std::pair<pid_t, std::uint64_t>, bool> listening_;
};

}  // namespace korvane::identity
