#pragma once
// The identity of a process found from the first of these that speaks for
// it: its systemd unit, its Flatpak sandbox, its snap confinement, GLib's
// launch variables, and last the executable it runs, read from /proc and the
// desktop entries of the process owner's data folders.
#include <sys/types.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/identity/desktop_index.h"
#include "shared/identity/app_identity.h"
#include "shared/identity/desktop_entry.h"
#include "shared/identity/unit_lookup.h"

namespace korvane::identity {

struct IdentityConfig {
    std::string procRoot = "/proc";
    // Data folders searched after the process owner's own, highest
    // precedence first.
    std::vector<std::string> systemDataFolders;
    // Where bare program names in Exec lines are looked up.
    std::vector<std::string> executableSearchPath;
    // A user's home folder, for the default data home; the password database
    // when left empty.
    std::function<std::optional<std::string>(uid_t)> homeOf;

    // Flatpak's system exports, then $XDG_DATA_DIRS (or /usr/local/share,
    // /usr/share and snapd's desktop folder), and $PATH, of the calling
    // process. These are the system's and are read with the caller's rights.
    static IdentityConfig fromEnvironment();
};

class IdentityResolver final : public ProcessIdentity {
public:
    IdentityResolver(IdentityConfig config, UnitLookup& units);

    void refresh() override;
    std::optional<AppOrigin> originOf(pid_t pid) override;
    FoundOrigin findOrigin(pid_t pid) override;
    std::optional<std::string> readAppID(const AppOrigin& origin) override;
    std::uint64_t lastChangeOf(const std::vector<std::string>& folders) const override {
        return index_.lastChangeOf(folders);
    }

    // The sources originOf() asks, one by one, for callers that weigh other
    // evidence between them (a window's class speaks before the unit).
    std::optional<AppOrigin> unitOrigin(pid_t pid);
    std::optional<AppOrigin> sandboxOrigin(pid_t pid);  // Flatpak, then snap
    std::optional<AppOrigin> launchOrigin(pid_t pid);   // GLib's launch variables
    std::optional<AppOrigin> executableOrigin(pid_t pid);

    std::optional<AppIdentity> identify(pid_t pid);
    // The desktop entry that stands for `appID` for the user running `pid`
    // (its name and icon).
    std::optional<DesktopEntry> desktopEntryFor(pid_t pid, const std::string& appID);

    // The data folders whose entries count for the user running `pid`: the
    // owner's data home and Flatpak user exports, then the system's.
    std::vector<DataFolder> dataFoldersFor(pid_t pid);
    std::optional<DesktopEntry> entryForAppID(const std::vector<DataFolder>& dataFolders, const std::string& id) {
        return index_.entryForAppID(dataFolders, id);
    }
    std::optional<DesktopEntry> entryForStartupWMClass(const std::vector<DataFolder>& dataFolders,
                                                       const std::string& wmClass) {
        return index_.entryForStartupWMClass(dataFolders, wmClass);
    }

    std::uint64_t generation() const override { return index_.generation(); }

private:
    std::string procPath(pid_t pid, std::string_view leaf) const;
    // The owner's data home and Flatpak user exports, then the system's.
    // The user's folders are read with the rights of the process's owner.
    std::vector<DataFolder> dataFoldersFor(pid_t pid, const std::optional<std::string>& environ);
    std::optional<AppOrigin> launchOrigin(pid_t pid, const std::optional<std::string>& environ,
                                          const std::vector<DataFolder>& folders);
    std::optional<AppOrigin> executableOrigin(pid_t pid, const std::vector<DataFolder>& folders);
    std::optional<std::string> homeOf(uid_t uid);
    std::optional<std::string> executableOf(pid_t pid) const;

    IdentityConfig config_;
    UnitLookup& units_;
    DesktopIndex index_;
    std::mutex homesMutex_;
    std::map<uid_t, std::optional<std::string>> homes_;
};

}  // namespace korvane::identity
