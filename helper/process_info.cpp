#include "helper/process_info.h"

#include <charconv>
#include <map>
#include <unordered_set>

#include "shared/log/log.h"
#include "shared/util/text.h"
#include "shared/util/utf8.h"

namespace korvane::helper {
namespace {

using identity::AppOrigin;
// A scan's resolution cache: an application path and the ID it gave, or
// nothing when it gave none.
using ResolutionCache = std::map<AppOrigin, std::optional<std::string>>;

std::optional<std::int32_t> parsePID(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    std::int32_t pid = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return pid;
}

// Parent chains are read while processes come and go and could, in theory,
// loop; no real tree is this deep.
constexpr int kMaxTreeDepth = 1024;

std::size_t pieceCount(std::string_view text) {
    std::size_t pieces = 1;
    for (char c : text) pieces += c == '\n' ? 1 : 0;
    return pieces;
}

}  // namespace

std::vector<ListingLine> parseProcessListing(std::string_view listing) {
    std::vector<ListingLine> lines;
    std::unordered_set<std::int32_t> seen;
    while (true) {
        std::size_t newline = listing.find('\n');
        std::string_view line = trimmed(listing.substr(0, newline), " \t");
        std::size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            auto pid = parsePID(line.substr(0, space));
            if (pid && seen.insert(*pid).second) lines.push_back({*pid, line.substr(space + 1)});
        }
        if (newline == std::string_view::npos) return lines;
        listing.remove_prefix(newline + 1);
    }
}

ProcessInfo::ProcessInfo(ProcessInfoDependencies deps)
    : deps_(std::move(deps)), memo_(deps_.now ? deps_.now : [] { return std::chrono::steady_clock::now(); }) {}

std::optional<identity::AppOrigin> ProcessInfo::originOf(const ListingLine& line, std::uint64_t generation) {
    return memo_.originOf(
        line.pid, line.arguments, generation, [&] { return deps_.identity.findOrigin(line.pid); },
        [&](const std::vector<std::string>& folders) { return deps_.identity.lastChangeOf(folders); });
}

void ProcessInfo::forgetUnlisted(const std::vector<ListingLine>& lines) {
    std::unordered_set<std::int32_t> listed;
    for (const auto& line : lines) listed.insert(line.pid);
    memo_.keepOnly([&](std::int32_t pid) { return listed.contains(pid); });
}

std::optional<std::string> ProcessInfo::takeListing() {
    auto listing = deps_.listing();
    if (!listing) {
        log::write("KorvaneHelper: ps komutu çalıştırılamadı — " + listing.error());
        return std::nullopt;
    }
    if (!isValidUtf8(*listing)) return std::string();
    return std::move(*listing);
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

std::vector<std::int32_t> ProcessInfo::guiAppPIDs(std::int32_t excludingPID) {
    deps_.identity.refresh();
    const std::uint64_t generation = deps_.identity.generation();
    auto listing = takeListing();
    if (!listing) return {};
    ResolutionCache cache;
    auto appIDFrom = [&](const std::optional<AppOrigin>& origin) -> std::optional<std::string> {
        if (!origin) return std::nullopt;
        auto it = cache.find(*origin);
        if (it == cache.end()) it = cache.emplace(*origin, readBundleID(*origin)).first;
        return it->second;
    };

    auto lines = parseProcessListing(*listing);
    std::vector<std::pair<std::int32_t, std::string>> candidates;
    for (const auto& line : lines) {
        if (line.pid == excludingPID || !isApplicationCandidate(line.pid)) continue;
        if (auto appID = appIDFrom(originOf(line, generation))) candidates.emplace_back(line.pid, std::move(*appID));
    }
    forgetUnlisted(lines);

    std::optional<std::string> focusApp;
    std::set<std::int32_t> aboveFocus;
    if (excludingPID > 1) {
        focusApp = appIDFrom(deps_.identity.originOf(excludingPID));
        aboveFocus = ancestorsReaching(excludingPID);
    }
    std::vector<std::int32_t> pids;
    for (const auto& [pid, appID] : candidates) {
        if (focusApp && appID == *focusApp && descendsFrom(pid, excludingPID)) continue;
        if (aboveFocus.contains(pid)) continue;
        pids.push_back(pid);
    }
    return pids;
}

std::vector<JailMatch> ProcessInfo::pidsForBundleIDs(const std::set<std::string>& bundleIDs) {
    deps_.identity.refresh();
    const std::uint64_t generation = deps_.identity.generation();
    auto listing = takeListing();
    if (!listing) return {};
    log::write("KorvaneHelper: ps exit code: 0, output lines: " + std::to_string(pieceCount(*listing)));

    ResolutionCache cache;
    int appProcesses = 0;
    std::vector<JailMatch> matches;
    auto lines = parseProcessListing(*listing);
    for (const auto& line : lines) {
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
    forgetUnlisted(lines);

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
