#include "shared/identity/process_labels.h"

#include <charconv>

#include "shared/util/text.h"

namespace korvane::identity {
namespace {

constexpr std::string_view kLineBlanks = " \t\r";

}  // namespace

std::optional<std::string> flatpakAppID(std::string_view info) {
    bool inApplication = false;
    while (!info.empty()) {
        std::size_t end = info.find('\n');
        std::string_view line = trimmed(info.substr(0, end), kLineBlanks);
        info = end == std::string_view::npos ? std::string_view() : info.substr(end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inApplication = line == "[Application]";
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inApplication || equals == std::string_view::npos) continue;
        if (trimmed(line.substr(0, equals), kLineBlanks) != "name") continue;
        std::string_view value = trimmed(line.substr(equals + 1), kLineBlanks);
        if (value.empty()) return std::nullopt;
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> snapProfile(std::string_view label) {
    std::string_view profile = label.substr(0, label.find_first_of(" \n"));
    if (!profile.starts_with("snap.")) return std::nullopt;
    return std::string(profile);
}

std::optional<std::string> snapAppID(std::string_view profile) {
    if (!profile.starts_with("snap.")) return std::nullopt;
    profile.remove_prefix(5);
    std::size_t dot = profile.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == profile.size()) return std::nullopt;
    std::string_view app = profile.substr(dot + 1);
    if (app.find('.') != std::string_view::npos) return std::nullopt;
    return std::string(profile.substr(0, dot)) + "_" + std::string(app);
}

std::optional<std::string_view> environValue(std::string_view environ, std::string_view name) {
    while (!environ.empty()) {
        std::size_t end = environ.find('\0');
        std::string_view entry = environ.substr(0, end);
        environ = end == std::string_view::npos ? std::string_view() : environ.substr(end + 1);
        if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
            return entry.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

std::optional<std::string> launchedDesktopFile(std::string_view environ, pid_t pid) {
    auto file = environValue(environ, "GIO_LAUNCHED_DESKTOP_FILE");
    auto launchedPid = environValue(environ, "GIO_LAUNCHED_DESKTOP_FILE_PID");
    if (!file || file->empty() || !launchedPid) return std::nullopt;
    long long value = 0;
    auto [end, error] = std::from_chars(launchedPid->data(), launchedPid->data() + launchedPid->size(), value);
    if (error != std::errc() || end != launchedPid->data() + launchedPid->size() || value != pid) {
        return std::nullopt;
    }
    return std::string(*file);
}

}  // namespace korvane::identity
