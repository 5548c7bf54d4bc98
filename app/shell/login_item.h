#pragma once
// "Start at Login": the shipped autostart entry copied into the user's
// autostart folder, or removed from it. The desktop's session starter reads
// that folder; nothing else records the choice.
#include <string>

#include "shared/util/expected.h"

namespace korvane::app {

class LoginItem {
public:
    // `shippedEntry`: the entry the installation ships; `autostartFolder`:
    // $XDG_CONFIG_HOME/autostart (or ~/.config/autostart).
    LoginItem(std::string shippedEntry, std::string autostartFolder);

    // The shipped entry next to the program's prefix, into the user's folder.
    static LoginItem forThisUser(const std::string& installPrefix);

    bool isEnabled() const;
    // The error is a sentence for the log; the state is then unchanged.
    Expected<Done, std::string> setEnabled(bool enabled);

    // Whether the installation has an entry to copy (a build tree has none).
    bool shipsEntry() const;
    // Without one: an entry of our own that starts `program` at login.
    Expected<Done, std::string> writeEntryStarting(const std::string& program);

    const std::string& entryPath() const { return installed_; }
    const std::string& shippedEntryPath() const { return shipped_; }

private:
    std::string shipped_;
    std::string folder_;
    std::string installed_;
};

}  // namespace korvane::app
