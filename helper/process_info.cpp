#include "helper/process_info.h"

#include <map>
#include <unordered_set>

#include "shared/log/log.h"
#include "shared/util/utf8.h"

namespace korvane::helper {
namespace {

using identity::AppOrigin;
// A scan's resolution cache: an application path and the ID it gave, or
// nothing when it gave none.
using ResolutionCache = std::map<AppOrigin, std::optional<std::string>>;

// Parent chains are read while processes come and go and could, in theory,
// loop; no real tree is this deep.
constexpr int kMaxTreeDepth = 1024;

}  // namespace

ProcessInfo::ProcessInfo(ProcessInfoDependencies deps)
    : deps_(std::move(deps)), memo_(deps_.now ? deps_.now : [] { return std::chrono::steady_clock::now(); }) {}

std::optional<identity::AppOrigin> ProcessInfo::originOf(const ProcessEntry& entry, std::uint64_t generation) {
    return memo_.originOf(
        entry.pid, entry.commandLine, generation, [&] { return deps_.identity.findOrigin(entry.pid); },
        [&](const std::vector<std::string>& folders) { return deps_.identity.lastChangeOf(folders); });
}

void ProcessInfo::forgetUnlisted(const std::vector<ProcessEntry>& entries) {
    std::unordered_set<std::int32_t> listed;
    for (const auto& entry : entries) listed.insert(entry.pid);
    memo_.keepOnly([&](std::int32_t pid) { return listed.contains(pid); });
}

std::optional<std::vector<ProcessEntry>> ProcessInfo::takeTable(ProcessFamily* family) {
    auto table = deps_.table();
    if (!table) {
        log::write("KorvaneHelper: ps komutu çalıştırılamadı — " + table.error());
        return std::nullopt;
    }
    if (family) *family = ProcessFamily(*table);
    // Kernel threads and zombies have no command line and are no
    // application's; a pid is one process.
    std::unordered_set<std::int32_t> seen;
    std::erase_if(*table, [&](const ProcessEntry& entry) {
        return entry.commandLine.empty() || !isValidUtf8(entry.commandLine) || !seen.insert(entry.pid).second;
    });
    return std::move(*table);
}

std::optional<std::string> ProcessInfo::readBundleID(const AppOrigin& appPath) {
    return deps_.identity.readAppID(appPath);
}

bool ProcessInfo::descendsFrom(std::int32_t pid, std::int32_t ancestor) {
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        auto parent = deps_.parentOf(pid);
        if (!parent || *parent <= 0) return false;
        if (*parent == ancestor) return true;
        if (*parent == 1) return false;
        pid = *parent;
    }
    return false;
}

std::set<std::int32_t> ProcessInfo::ancestorsReaching(std::int32_t pid) {
    // Throttling a process walks its descendants as long as they share its
    // cgroup, so it reaches `pid` exactly when everything between them is in
    // the cgroup of `pid`.
    std::set<std::int32_t> reaching;
    auto cgroup = deps_.cgroupOf(pid);
    if (!cgroup) return reaching;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        auto parent = deps_.parentOf(pid);
        if (!parent || *parent <= 1 || deps_.cgroupOf(*parent) != cgroup) break;
        reaching.insert(*parent);
        pid = *parent;
    }
    return reaching;
}

std::vector<std::int32_t> ProcessInfo::guiAppPIDs(std::int32_t excludingPID, ProcessFamily* family) {
    deps_.identity.refresh();
    const std::uint64_t generation = deps_.identity.generation();
    auto lines = takeTable(family);
    if (!lines) return {};
    ResolutionCache cache;
    auto appIDFrom = [&](const std::optional<AppOrigin>& origin) -> std::optional<std::string> {
        if (!origin) return std::nullopt;
        auto it = cache.find(*origin);
        if (it == cache.end()) it = cache.emplace(*origin, readBundleID(*origin)).first;
        return it->second;
    };

    std::vector<std::pair<std::int32_t, std::string>> candidates;
    for (const auto& line : *lines) {
        if (line.pid == excludingPID || !isApplicationCandidate(line.pid)) continue;
        if (auto appID = appIDFrom(originOf(line, generation))) candidates.emplace_back(line.pid, std::move(*appID));
    }
    forgetUnlisted(*lines);

    std::optional<std::string> focusApp;
    std::set<std::int32_t> aboveFocus;
    if (excludingPID > 1) {
        focusApp = appIDFrom(deps_.identity.originOf(excludingPID));
        aboveFocus = ancestorsReaching(excludingPID);
    }
    std::vector<std::int32_t> pids;
    std::string spared;
    for (const auto& [pid, appID] : candidates) {
        if (focusApp && appID == *focusApp && descendsFrom(pid, excludingPID)) continue;
        if (aboveFocus.contains(pid)) continue;
        if (deps_.partOfDesktop && deps_.partOfDesktop(pid, appID)) {
            spared += (spared.empty() ? "" : ", ") + appID + " → PID " + std::to_string(pid);
            continue;
        }
        pids.push_back(pid);
    }
    if (!spared.empty()) log::write("KorvaneHelper: The desktop's own processes are spared — " + spared);
    return pids;
}

std::vector<JailMatch> ProcessInfo::pidsForBundleIDs(const std::set<std::string>& bundleIDs,
                                                     ProcessFamily* family) {
    deps_.identity.refresh();
    const std::uint64_t generation = deps_.identity.generation();
    auto lines = takeTable(family);
    if (!lines) return {};
    // Counted as the pieces of a ps listing: its header, a line per
    // process and what follows the last newline.
    log::write("KorvaneHelper: ps exit code: 0, output lines: " + std::to_string(lines->size() + 2));

    ResolutionCache cache;
    int appProcesses = 0;
    std::vector<JailMatch> matches;
    for (const auto& line : *lines) {
        if (!isApplicationCandidate(line.pid)) continue;
        auto appPath = originOf(line, generation);
        if (!appPath) continue;
        ++appProcesses;
        auto cached = cache.find(*appPath);
        if (cached == cache.end()) {
            cached = cache.emplace(*appPath, readBundleID(*appPath)).first;
            if (cached->second) log::write("KorvaneHelper: Resolved " + appPath->path + " → " + *cached->second);
        }
        if (!cached->second) continue;
        if (bundleIDs.contains(*cached->second)) matches.push_back({line.pid, *cached->second});
    }
    forgetUnlisted(*lines);

    log::write("KorvaneHelper: pidsForBundleIDs — " + std::to_string(appProcesses) + " .app processes found, " +
               std::to_string(matches.size()) + " matches");
    if (!matches.empty()) {
        std::string listed;
        for (const auto& match : matches) {
            if (!listed.empty()) listed += ", ";
            listed += match.bundleID + " → PID " + std::to_string(match.pid);
        }
        log::write("KorvaneHelper: Jail matches — " + listed);
    }
    return matches;
}

}  // namespace korvane::helper
