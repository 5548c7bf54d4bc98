#pragma once
// Desktop entry files as application bundles. A bundle is a readable
// ".desktop" file whose entry is an application (Type=Application, not
// Hidden). Its identifier is its desktop-file ID when it lies below the
// applications/ folder of one of the data folders, else its file name without
// ".desktop"; its name is the entry's Name in the user's language.
#include <string>
#include <vector>

#include "app/focus/bundle_reader.h"

namespace korvane::app {

class DesktopBundleReader final : public BundleReader {
public:
    struct Config {
        // The XDG data folders, highest precedence first.
        std::vector<std::string> dataFolders;
        // The messages locale ("de_DE.UTF-8"), for the entry's Name.
        std::string locale;

        // $XDG_DATA_HOME (or ~/.local/share), Flatpak's exports and
        // $XDG_DATA_DIRS; LC_ALL, LC_MESSAGES or LANG.
        static Config fromEnvironment();
    };

    explicit DesktopBundleReader(Config config) : config_(std::move(config)) {}

    std::optional<BundleInfo> readBundle(const std::string& path) const override;

private:
    std::string identifierFor(const std::string& path) const;

    Config config_;
};

}  // namespace korvane::app
