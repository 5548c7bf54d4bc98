#include "shared/identity/desktop_entry.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
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
    // Only the keys below and the localized names are kept, each by its first
    // occurrence; every other key is passed over, so the work grows with the
    // text and nothing else.
    struct Key {
        std::string_view name;
        std::string* text;
        bool* flag;
    };
    const Key keys[] = {{"Type", &entry.type, nullptr},       {"Name", &entry.name, nullptr},
                        {"Icon", &entry.icon, nullptr},       {"Exec", &entry.exec, nullptr},
                        {"TryExec", &entry.tryExec, nullptr}, {"StartupWMClass", &entry.startupWMClass, nullptr},
                        {"Hidden", nullptr, &entry.hidden},   {"NoDisplay", nullptr, &entry.noDisplay},
                        {"X-GNOME-Provides", &entry.gnomeProvides, nullptr},
                        {"X-GNOME-Autostart-Phase", &entry.gnomePhase, nullptr},
                        {"X-MATE-Autostart-Phase", &entry.matePhase, nullptr},
                        {"X-KDE-autostart-phase", &entry.kdePhase, nullptr}};
    unsigned seenKeys = 0;
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
        // Name[ll_CC] and friends: the first occurrence of each locale wins.
        if (key.starts_with("Name[") && key.ends_with(']') && key.size() > 6) {
            entry.localizedNames.emplace(std::string(key.substr(5, key.size() - 6)),
                                         unescapedValue(trimmed(line.substr(equals + 1), kLineBlanks)));
            continue;
        }
        for (unsigned i = 0; i < std::size(keys); ++i) {
            if (keys[i].name != key) continue;
            if ((seenKeys & (1u << i)) == 0) {
                seenKeys |= 1u << i;
                std::string value = unescapedValue(trimmed(line.substr(equals + 1), kLineBlanks));
                if (keys[i].text) *keys[i].text = std::move(value);
                else *keys[i].flag = value == "true";
            }
            break;
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
    locale = locale.substr(0, locale.find('.'));
    std::string_view language = locale.substr(0, locale.find('_'));
    std::vector<std::string> keys;
    if (!modifier.empty() && language != locale) keys.push_back(std::string(locale) + std::string(modifier));
    if (language != locale) keys.emplace_back(locale);
    if (!modifier.empty()) keys.push_back(std::string(language) + std::string(modifier));
    keys.emplace_back(language);
    for (const auto& key : keys) {
        if (key.empty()) continue;
        auto it = entry.localizedNames.find(key);
        if (it != entry.localizedNames.end() && !it->second.empty()) return it->second;
    }
    return entry.name;
}

std::string messagesLocaleFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
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
