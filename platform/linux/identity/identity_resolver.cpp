#include "platform/linux/identity/identity_resolver.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/identity/process_root_file.h"
#include "shared/identity/process_labels.h"
#include "shared/util/small_file.h"
#include "shared/identity/unit_name.h"

namespace korvane::identity {
namespace {

constexpr std::string_view kFlatpakSystemExports = "/var/lib/flatpak/exports/share";
constexpr std::string_view kSnapDesktopFolder = "/var/lib/snapd/desktop";
constexpr std::string_view kDeletedSuffix = " (deleted)";
constexpr std::size_t kLabelLimit = 4096;
constexpr std::size_t kFlatpakInfoLimit = 64 * 1024;
// Paths under /proc/PID/root and in home folders are chosen by the process's
// owner; only regular files are read.
constexpr SmallFileOptions kCareful{.regularOnly = true};

std::optional<std::string> passwordDatabaseHome(uid_t uid) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return std::nullopt;
    if (entry.pw_dir == nullptr || entry.pw_dir[0] != '/') return std::nullopt;
    return std::string(entry.pw_dir);
}

}  // namespace

IdentityConfig IdentityConfig::fromEnvironment() {
    IdentityConfig config;
    config.systemDataFolders.emplace_back(kFlatpakSystemExports);
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::vector<std::string> folders = dataDirs && *dataDirs
                                           ? splitPathList(dataDirs)
                                           : std::vector<std::string>{"/usr/local/share", "/usr/share",
                                                                      std::string(kSnapDesktopFolder)};
    for (auto& folder : folders) {
        if (folder != kFlatpakSystemExports) config.systemDataFolders.push_back(std::move(folder));
    }
    config.executableSearchPath = ExecutableSearch::foldersFromEnvironment();
    return config;
}

IdentityResolver::IdentityResolver(IdentityConfig config, UnitLookup& units)
    : config_(std::move(config)), units_(units), index_(ExecutableSearch(config_.executableSearchPath)) {
    if (!config_.homeOf) config_.homeOf = passwordDatabaseHome;
}

void IdentityResolver::refresh() { index_.refreshChanged(); }

std::string IdentityResolver::procPath(pid_t pid, std::string_view leaf) const {
    std::string path = config_.procRoot;
    path += '/';
    path += std::to_string(pid);
    if (!leaf.empty()) {
        path += '/';
        path += leaf;
    }
    return path;
}

std::optional<std::string> IdentityResolver::homeOf(uid_t uid) {
    std::lock_guard lock(homesMutex_);
    auto it = homes_.find(uid);
    if (it == homes_.end()) it = homes_.emplace(uid, config_.homeOf(uid)).first;
    return it->second;
}

std::vector<DataFolder> IdentityResolver::dataFoldersFor(pid_t pid, const std::optional<std::string>& environ) {
    auto owner = processOwner(config_.procRoot, pid);
    std::optional<std::string> dataHome;
    if (environ) {
        auto value = environValue(*environ, "XDG_DATA_HOME");
        if (value && value->starts_with('/')) dataHome = std::string(*value);
    }
    if (!dataHome && owner) {
        if (auto home = homeOf(owner->uid)) dataHome = *home + "/.local/share";
    }
    std::vector<DataFolder> folders;
    // Without a known owner nobody's rights are safe to assume for its folders.
    if (dataHome && owner) {
        folders.push_back({*dataHome, *owner});
        folders.push_back({*dataHome + "/flatpak/exports/share", *owner});
    }
    for (const auto& system : config_.systemDataFolders) folders.push_back({system, std::nullopt});
    return folders;
}

std::optional<std::string> IdentityResolver::executableOf(pid_t pid) const {
    char target[4096];
    ssize_t length = ::readlink(procPath(pid, "exe").c_str(), target, sizeof target);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof target) {
        std::string_view path(target, static_cast<std::size_t>(length));
        // A program replaced while it runs (a package upgrade) is still the
        // same application.
        if (path.ends_with(kDeletedSuffix)) path.remove_suffix(kDeletedSuffix.size());
        return std::string(path);
    }
    // Without access to the link, the command line's first word is the next
    // best thing. That word is the process's own: it is looked up with its
    // owner's rights.
    auto commandLine = readSmallFileOrNothing(procPath(pid, "cmdline"), kCareful);
    if (!commandLine || commandLine->empty()) return std::nullopt;
    auto owner = processOwner(config_.procRoot, pid);
    if (!owner) return std::nullopt;
    ReadingAs rights(*owner);
    if (!rights.ok()) return std::nullopt;
    std::string firstWord = commandLine->substr(0, commandLine->find('\0'));
    return ExecutableSearch(config_.executableSearchPath).resolve(firstWord);
}

std::optional<AppOrigin> IdentityResolver::originOf(pid_t pid) { return findOrigin(pid).origin; }

FoundOrigin IdentityResolver::findOrigin(pid_t pid) {
    if (pid <= 0) return {};
    if (auto origin = unitOrigin(pid)) return {origin, {}};
    if (auto origin = sandboxOrigin(pid)) return {origin, {}};
    auto environ = readSmallFileOrNothing(procPath(pid, "environ"), kCareful);
    auto folders = dataFoldersFor(pid, environ);
    // From here on the answer, found or not, rests on these folders' entries.
    FoundOrigin found;
    for (const auto& folder : folders) found.folders.push_back(folder.path);
    found.origin = launchOrigin(pid, environ, folders);
    if (!found.origin) found.origin = executableOrigin(pid, folders);
    return found;
}

std::optional<AppOrigin> IdentityResolver::unitOrigin(pid_t pid) {
    // Inside the user's manager every process has a user unit; only when
    // there is none is the system manager worth asking. A unit not named
    // after an application leaves the question to the other sources.
    auto unit = units_.userUnit(pid);
    if (!unit) unit = units_.systemUnit(pid);
    if (unit && appIDFromUnitName(*unit)) return AppOrigin{OriginKind::SystemdUnit, *unit};
    return std::nullopt;
}

std::optional<AppOrigin> IdentityResolver::sandboxOrigin(pid_t pid) {
    // The sandbox's information file lies in the process's root, which its
    // owner chooses; a file the owner could not read, or one that is no
    // ordinary file, says nothing.
    auto info = readInProcessRoot(procPath(pid, "root"), ".flatpak-info", kFlatpakInfoLimit,
                                  [&] { return processOwner(config_.procRoot, pid); });
    if (auto appID = info ? flatpakAppID(*info) : std::nullopt) return AppOrigin{OriginKind::FlatpakInfo, *appID};
    if (auto label = readSmallFileOrNothing(procPath(pid, "attr/current"), {.limit = kLabelLimit, .regularOnly = true})) {
        auto profile = snapProfile(*label);
        if (profile && snapAppID(*profile)) return AppOrigin{OriginKind::SnapProfile, *profile};
    }
    return std::nullopt;
}

std::optional<AppOrigin> IdentityResolver::launchOrigin(pid_t pid) {
    auto environ = readSmallFileOrNothing(procPath(pid, "environ"), kCareful);
    return launchOrigin(pid, environ, dataFoldersFor(pid, environ));
}

std::optional<AppOrigin> IdentityResolver::launchOrigin(pid_t pid, const std::optional<std::string>& environ,
                                                        const std::vector<DataFolder>& folders) {
    if (!environ) return std::nullopt;
    auto file = launchedDesktopFile(*environ, pid);
    if (!file) return std::nullopt;
    // Only entries in the folders we index count: the variable is the
    // process's own word, and the helper must not open any file it names.
    index_.include(folders);
    if (index_.appIDForEntryPath(*file)) return AppOrigin{OriginKind::DesktopEntry, *file};
    return std::nullopt;
}

std::optional<AppOrigin> IdentityResolver::executableOrigin(pid_t pid) {
    return executableOrigin(pid, dataFoldersFor(pid));
}

std::optional<AppOrigin> IdentityResolver::executableOrigin(pid_t pid, const std::vector<DataFolder>& folders) {
    auto executable = executableOf(pid);
    if (!executable) return std::nullopt;
    auto entry = index_.entryPathForExecutable(folders, *executable);
    if (entry) return AppOrigin{OriginKind::DesktopEntry, *entry};
    return std::nullopt;
}

std::optional<std::string> IdentityResolver::readAppID(const AppOrigin& origin) {
    switch (origin.kind) {
        case OriginKind::SystemdUnit:
            return appIDFromUnitName(origin.path);
        case OriginKind::FlatpakInfo:
            return origin.path;
        case OriginKind::SnapProfile:
            return snapAppID(origin.path);
        case OriginKind::DesktopEntry:
            return index_.appIDForEntryPath(origin.path);
    }
    return std::nullopt;
}

std::optional<AppIdentity> IdentityResolver::identify(pid_t pid) {
    auto origin = originOf(pid);
    if (!origin) return std::nullopt;
    auto appID = readAppID(*origin);
    if (!appID) return std::nullopt;
    return AppIdentity{*appID, *origin};
}

std::optional<DesktopEntry> IdentityResolver::desktopEntryFor(pid_t pid, const std::string& appID) {
    return index_.entryForAppID(dataFoldersFor(pid), appID);
}

std::vector<DataFolder> IdentityResolver::dataFoldersFor(pid_t pid) {
    return dataFoldersFor(pid, readSmallFileOrNothing(procPath(pid, "environ"), kCareful));
}

}  // namespace korvane::identity
