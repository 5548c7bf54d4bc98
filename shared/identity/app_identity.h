#pragma once
// Which desktop application a process belongs to. Linux has no application
// bundles, so the identity of a process is its desktop application ID (the
// desktop-file ID without ".desktop"). The platform finds it
// (IdentityResolver); the helper's scans see it through ProcessIdentity.
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::identity {

enum class OriginKind {
    SystemdUnit,   // path is the unit name
    FlatpakInfo,   // path is the application ID the sandbox's .flatpak-info names
    SnapProfile,   // path is the AppArmor profile, "snap.<name>.<app>"
    DesktopEntry,  // path is the desktop entry's file
};

// Where the identity of a process comes from. Many processes share one origin
// (every process of a unit, every process started from one entry), so a scan
// reads the ID once per origin.
struct AppOrigin {
    OriginKind kind;
    std::string path;
    auto operator<=>(const AppOrigin&) const = default;
};

struct AppIdentity {
    std::string appID;
    AppOrigin origin;
};

// An origin and the data folders whose entries decided it: none for an
// origin that no desktop entry speaks for (a unit, a sandbox).
struct FoundOrigin {
    std::optional<AppOrigin> origin;
    std::vector<std::string> folders;
};

// What a process scan needs to know about identities; tests fake it.
class ProcessIdentity {
public:
    virtual ~ProcessIdentity() = default;
    // Called at the start of each scan: picks up installed or removed
    // desktop entries.
    virtual void refresh() = 0;
    // Where the identity of `pid` would come from; nothing for a process that
    // is no application's.
    virtual std::optional<AppOrigin> originOf(pid_t pid) = 0;
    // The application ID an origin gives, or nothing.
    virtual std::optional<std::string> readAppID(const AppOrigin& origin) = 0;
    // Moves whenever what decides origins changed (desktop entries were
    // installed or removed), so origins found before may no longer hold.
    virtual std::uint64_t generation() const { return 0; }
    // originOf, with the folders it depended on.
    virtual FoundOrigin findOrigin(pid_t pid) { return {originOf(pid), {}}; }
    // The generation at which any of `folders` last changed: an origin found
    // at a later generation still holds. Without a finer record, any change
    // counts.
    virtual std::uint64_t lastChangeOf(const std::vector<std::string>& folders) const {
        (void)folders;
        return generation();
    }
};

}  // namespace korvane::identity
