#pragma once
// Desktop entries (the .desktop files under applications/): the keys Korvane
// uses to name an application and to recognise its processes.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::identity {

struct DesktopEntry {
    std::string id;    // desktop-file ID without ".desktop", e.g. "org.gnome.Calculator"
    std::string path;  // where the file was read
    std::string type;
    std::string name;
    std::string icon;
    std::string exec;
    std::string tryExec;
    std::string startupWMClass;
    bool hidden = false;  // the entry counts as deleted
    bool noDisplay = false;
    // The session-role keys desktops start their own programs by: the
    // values of X-GNOME-Provides, X-GNOME-Autostart-Phase,
    // X-MATE-Autostart-Phase and X-KDE-autostart-phase, empty when absent.
    std::string gnomeProvides;
    std::string gnomePhase;
    std::string matePhase;
    std::string kdePhase;
    std::map<std::string, std::string, std::less<>> localizedNames;  // Name[de_DE] and the like, by locale

    // Whether this entry names an application a process can belong to.
    bool identifiesApplication() const { return !hidden && type == "Application"; }
};

// The entry's Name for a POSIX locale ("de_DE.UTF-8@euro"): Name[ll_CC@MOD],
// Name[ll_CC], Name[ll@MOD], Name[ll], then the plain Name.
std::string localizedName(const DesktopEntry& entry, std::string_view locale);

// The locale messages are shown in: $LC_ALL, $LC_MESSAGES, then $LANG.
std::string messagesLocaleFromEnvironment();

// The [Desktop Entry] group of a file; nothing when it has none. `id` and
// `path` are left for the caller.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text);

// The entry's Name in the language of `locale` (a POSIX locale name such as
// "de_DE.UTF-8@euro"): Name[de_DE@euro], Name[de_DE], Name[de@euro],
// Name[de], then Name.
std::string localizedName(const DesktopEntry& entry, std::string_view locale);

// The program an Exec line starts: its first word, with the entry's quoting
// undone ("\"/opt/My App/run\" %U" gives "/opt/My App/run").
std::string firstExecWord(std::string_view exec);

// The desktop-file ID of a file given by its path below an applications/
// folder: "kde4/konsole.desktop" gives "kde4-konsole". Nothing for other files.
std::optional<std::string> desktopFileID(std::string_view relativePath);

}  // namespace korvane::identity
