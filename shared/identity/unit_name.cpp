#include "shared/identity/unit_name.h"

#include <vector>

namespace korvane::identity {
namespace {

constexpr std::string_view kPrefix = "app-";
constexpr std::string_view kService = ".service";
constexpr std::string_view kScope = ".scope";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Launchers escape every "-" inside the launcher name and the ID, so a raw
// "-" in the unit name is always a separator.
std::vector<std::string_view> splitAtDashes(std::string_view body) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dash = body.find('-', start);
        parts.push_back(body.substr(start, dash - start));
        if (dash == std::string_view::npos) return parts;
        start = dash + 1;
    }
}

std::optional<std::string> nonEmptyID(std::string_view escaped) {
    if (escaped.empty()) return std::nullopt;
    auto id = unescapeUnitName(escaped);
    if (!id || id->empty()) return std::nullopt;
    return id;
}

}  // namespace

std::optional<std::string> unescapeUnitName(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            out += escaped[i];
            continue;
        }
        if (i + 3 >= escaped.size() || escaped[i + 1] != 'x') return std::nullopt;
        int high = hexValue(escaped[i + 2]);
        int low = hexValue(escaped[i + 3]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

std::optional<std::string> appIDFromUnitName(std::string_view unit) {
    if (!unit.starts_with(kPrefix)) return std::nullopt;
    std::string_view body = unit.substr(kPrefix.size());
    if (body.ends_with(kService)) {
        body.remove_suffix(kService.size());
        body = body.substr(0, body.find('@'));
        auto parts = splitAtDashes(body);
        if (parts.size() == 1) return nonEmptyID(parts[0]);
        if (parts.size() == 2 && !parts[0].empty()) return nonEmptyID(parts[1]);
        return std::nullopt;
    }
    if (!body.ends_with(kScope)) return std::nullopt;
    body.remove_suffix(kScope.size());
    auto parts = splitAtDashes(body);
    if (parts.size() < 2 || parts.back().empty()) return std::nullopt;
    // Flatpak does not escape the ID, and an ID may carry dashes in its last
    // element: everything between the launcher and the pid is the ID.
    if (parts.size() > 3 && parts[0] == "flatpak") {
        std::string_view id = body.substr(parts[0].size() + 1);
        return nonEmptyID(id.substr(0, id.size() - parts.back().size() - 1));
    }
    if (parts.size() == 2) return nonEmptyID(parts[0]);
    if (parts.size() == 3 && !parts[0].empty()) return nonEmptyID(parts[1]);
    return std::nullopt;
}

namespace {

// The unified hierarchy's path, or the named systemd hierarchy's on a
// machine still on cgroup v1.
std::optional<std::string_view> systemdCgroupPath(std::string_view text) {
    std::optional<std::string_view> named;
    while (!text.empty()) {
        std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        if (line.starts_with("0::")) return line.substr(3);
        if (auto at = line.find(":name=systemd:"); at != std::string_view::npos) {
            named = line.substr(at + 14);
        }
        if (newline == std::string_view::npos) break;
        text.remove_prefix(newline + 1);
    }
    return named;
}

bool isUnitName(std::string_view name) {
    static constexpr std::string_view kSuffixes[] = {".service", ".scope",  ".socket", ".mount", ".swap",
                                                     ".target",  ".device", ".timer",  ".path",  ".automount"};
    for (auto suffix : kSuffixes) {
        if (name.size() > suffix.size() && name.ends_with(suffix)) return true;
    }
    return false;
}

// The first unit below `path`'s leading slices, and what follows it.
std::optional<std::string> unitAfterSlices(std::string_view& path) {
    while (!path.empty()) {
        while (path.starts_with('/')) path.remove_prefix(1);
        std::size_t end = path.find('/');
        std::string_view component = path.substr(0, end);
        path.remove_prefix(end == std::string_view::npos ? path.size() : end);
        if (component.empty()) break;
        if (component.ends_with(".slice")) continue;
        // systemd escapes a cgroup name that could be mistaken for its own
        // files with a leading underscore.
        if (component.starts_with('_')) component.remove_prefix(1);
        if (!isUnitName(component)) return std::nullopt;
        return std::string(component);
    }
    return std::nullopt;
}

}  // namespace

CgroupUnits unitsFromCgroup(std::string_view cgroupText) {
    CgroupUnits units;
    auto path = systemdCgroupPath(cgroupText);
    if (!path) return units;
    std::string_view rest = *path;
    units.systemUnit = unitAfterSlices(rest);
    if (units.systemUnit && units.systemUnit->starts_with("user@") && units.systemUnit->ends_with(".service")) {
        units.userUnit = unitAfterSlices(rest);
    }
    return units;
}

}  // namespace korvane::identity
