#include "shared/identity/desktop_entry.h"

#include <algorithm>
#include <vector>

#include "shared/util/text.h"

namespace korvane::identity {
namespace {

constexpr std::string_view kLineBlanks = " \t\r";

// The escapes every string value may carry.
std::string unescapedValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += value[i];
        }
    }
    return out;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
    DesktopEntry entry;
    bool inGroup = false;
    bool seenGroup = false;
    std::vector<std::string_view> seenKeys;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end), kLineBlanks);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            // Only the first [Desktop Entry] group counts.
            inGroup = !seenGroup && line == "[Desktop Entry]";
            seenGroup = seenGroup || inGroup;
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) continue;
        std::string_view key = trimmed(line.substr(0, equals), kLineBlanks);
        // The first occurrence of a key wins; localized keys (Name[de]) never
        // match the names below.
        if (std::find(seenKeys.begin(), seenKeys.end(), key) != seenKeys.end()) continue;
        seenKeys.push_back(key);
        std::string value = unescapedValue(trimmed(line.substr(equals + 1), kLineBlanks));
        if (key == "Type") entry.type = std::move(value);
        else if (key == "Name") entry.name = std::move(value);
        else if (key == "Icon") entry.icon = std::move(value);
        else if (key == "Exec") entry.exec = std::move(value);
        else if (key == "TryExec") entry.tryExec = std::move(value);
        else if (key == "StartupWMClass") entry.startupWMClass = std::move(value);
        else if (key == "Hidden") entry.hidden = value == "true";
        else if (key == "NoDisplay") entry.noDisplay = value == "true";
        else if (key.starts_with("Name[") && key.ends_with(']') && key.size() > 6) {
            entry.localizedNames.emplace(std::string(key.substr(5, key.size() - 6)), std::move(value));
        }
    }
    if (!seenGroup) return std::nullopt;
    return entry;
}

std::string localizedName(const DesktopEntry& entry, std::string_view locale) {
    // lang_COUNTRY.ENCODING@MODIFIER; the encoding never takes part.
    std::string_view modifier;
    if (auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (auto dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
    std::string_view lang = locale.substr(0, locale.find('_'));
    const bool hasCountry = lang.size() != locale.size();
    std::vector<std::string> candidates;
    if (hasCountry && !modifier.empty()) candidates.push_back(std::string(locale) + std::string(modifier));
    if (hasCountry) candidates.emplace_back(locale);
    if (!modifier.empty()) candidates.push_back(std::string(lang) + std::string(modifier));
    candidates.emplace_back(lang);
    for (const auto& candidate : candidates) {
        if (candidate.empty()) continue;
        if (auto it = entry.localizedNames.find(candidate); it != entry.localizedNames.end()) return it->second;
    }
    return entry.name;
}

std::string firstExecWord(std::string_view exec) {
    exec = trimmed(exec, kLineBlanks);
    if (exec.empty()) return {};
    if (exec.front() != '"') return std::string(exec.substr(0, exec.find_first_of(" \t")));
    std::string word;
    for (std::size_t i = 1; i < exec.size(); ++i) {
        char c = exec[i];
        if (c == '"') return word;
        if (c == '\\' && i + 1 < exec.size()) c = exec[++i];
        word += c;
    }
    return {};  // no closing quote: not a usable command line
}

std::optional<std::string> desktopFileID(std::string_view relativePath) {
    constexpr std::string_view suffix = ".desktop";
    if (!relativePath.ends_with(suffix) || relativePath.size() == suffix.size()) return std::nullopt;
    std::string id(relativePath.substr(0, relativePath.size() - suffix.size()));
    for (char& c : id) {
        if (c == '/') c = '-';
    }
    return id;
}

}  // namespace korvane::identity
