#include "app/shell/login_item.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/util/atomic_file.h"

namespace korvane::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntryName = "com.korvane.app.desktop";

// `program` as the Exec key's first word, by the desktop entry rules: quoted
// when it holds a reserved character (and then ", `, $ and \ escaped),
// per-cent signs doubled (they start field codes), and lastly every
// backslash doubled and line breaks escaped, as the key's string type wants.
std::string execValue(const std::string& program) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quoted = program.find_first_of(kReserved) != std::string::npos;
    std::string word;
    for (char c : program) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) word += '\\';
        word += c;
        if (c == '%') word += '%';
    }
    if (quoted) word = '"' + word + '"';
    std::string value;
    for (char c : word) {
        // A line break must not end the key and start another.
        if (c == '\n') {
            value += "\\n";
        } else if (c == '\r') {
            value += "\\r";
        } else {
            value += c;
            if (c == '\\') value += '\\';
        }
    }
    return value;
}

}  // namespace

LoginItem::LoginItem(std::string shippedEntry, std::string autostartFolder)
    : shipped_(std::move(shippedEntry)),
      folder_(std::move(autostartFolder)),
      installed_((fs::path(folder_) / kEntryName).string()) {}

LoginItem LoginItem::forThisUser(const std::string& installPrefix) {
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        config = std::string(home) + "/.config";
    }
    return LoginItem(installPrefix + "/share/korvane/autostart/" + kEntryName,
                     config.empty() ? std::string() : config + "/autostart");
}

bool LoginItem::isEnabled() const {
    std::error_code error;
    return !folder_.empty() && fs::is_regular_file(installed_, error);
}

Expected<Done, std::string> LoginItem::setEnabled(bool enabled) {
    if (folder_.empty()) return unexpected(std::string("no home folder to keep the autostart entry in"));
    std::error_code error;
    if (!enabled) {
        fs::remove(installed_, error);
        if (error) return unexpected("cannot remove " + installed_ + ": " + error.message());
        return Done{};
    }
    if (!fs::is_regular_file(shipped_, error)) {
        return unexpected("the autostart entry " + shipped_ + " is not installed");
    }
    fs::create_directories(folder_, error);
    if (error) return unexpected("cannot create " + folder_ + ": " + error.message());
    // Copied beside the target first, so a failed copy never leaves half an
    // entry the session would try to start.
    const std::string partial = installed_ + ".part";
    fs::copy_file(shipped_, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, installed_, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        return unexpected("cannot write " + installed_ + ": " + error.message());
    }
    return Done{};
}

bool LoginItem::shipsEntry() const {
    std::error_code error;
    return fs::is_regular_file(shipped_, error);
}

Expected<Done, std::string> LoginItem::writeEntryStarting(const std::string& program) {
    if (folder_.empty()) return unexpected(std::string("no home folder to keep the autostart entry in"));
    if (auto made = makeDirectories(folder_, 0755); !made) return unexpected(made.error());
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Korvane\n"
        "Comment=Give the application you focus the performance cores\nExec=" +
        execValue(program) + "\nIcon=com.korvane.app\nTerminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    auto written = writeFileAtomically(installed_, entry);
    if (!written) return unexpected("cannot write " + installed_ + ": " + written.error());
    return Done{};
}

}  // namespace korvane::app
