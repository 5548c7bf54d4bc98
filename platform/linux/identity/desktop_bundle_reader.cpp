#include "platform/linux/identity/desktop_bundle_reader.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/linux/identity/identity_resolver.h"
#include "shared/identity/desktop_entry.h"
#include "shared/util/small_file.h"

namespace korvane::app {
namespace {

namespace fs = std::filesystem;
constexpr std::string_view kSuffix = ".desktop";

// `path` with its folders resolved but the file itself left as named, so an
// entry that is a link inside applications/ keeps its own ID.
fs::path resolvedFolder(const fs::path& path) {
    std::error_code ignored;
    fs::path folder = fs::weakly_canonical(fs::absolute(path, ignored).parent_path(), ignored);
    return folder / path.filename();
}

}  // namespace

DesktopBundleReader::Config DesktopBundleReader::Config::fromEnvironment() {
    Config config;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/') config.dataFolders.emplace_back(dataHome);
    else if (home && *home) config.dataFolders.push_back(std::string(home) + "/.local/share");
    if (!config.dataFolders.empty()) config.dataFolders.push_back(config.dataFolders.front() + "/flatpak/exports/share");
    for (auto& folder : identity::IdentityConfig::fromEnvironment().systemDataFolders) {
        config.dataFolders.push_back(std::move(folder));
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            config.locale = value;
            break;
        }
    }
    return config;
}

std::optional<BundleInfo> DesktopBundleReader::readBundle(const std::string& path) const {
    if (!std::string_view(path).ends_with(kSuffix) || fs::path(path).filename() == kSuffix) return std::nullopt;
    auto text = readSmallFileOrNothing(path, {.regularOnly = true});
    if (!text) return std::nullopt;
    auto entry = identity::parseDesktopEntry(*text);
    if (!entry || !entry->identifiesApplication()) return std::nullopt;
    return BundleInfo{identifierFor(path), identity::localizedName(*entry, config_.locale)};
}

std::string DesktopBundleReader::identifierFor(const std::string& path) const {
    const fs::path file = resolvedFolder(path);
    for (const auto& folder : config_.dataFolders) {
        std::error_code error;
        fs::path applications = fs::weakly_canonical(fs::path(folder) / "applications", error);
        if (error) continue;
        fs::path relative = file.lexically_relative(applications);
        if (relative.empty() || *relative.begin() == "..") continue;
        if (auto id = identity::desktopFileID(relative.string())) return *id;
    }
    std::string name = file.filename().string();
    return name.substr(0, name.size() - kSuffix.size());
}

}  // namespace korvane::app
