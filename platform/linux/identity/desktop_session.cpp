#include "platform/linux/identity/desktop_session.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/linux/identity/executable_search.h"
#include "shared/identity/desktop_session_rule.h"
#include "shared/process/process_stat.h"
#include "shared/util/small_file.h"

namespace korvane::identity {
namespace {

constexpr std::size_t kMaxEntryBytes = 64 * 1024;
constexpr std::size_t kMaxAutostartEntries = 2000;
constexpr std::size_t kMaxRemembered = 4096;
constexpr std::string_view kDeletedSuffix = " (deleted)";

std::string baseName(std::string_view path) { return std::string(path.substr(path.rfind('/') + 1)); }

std::int64_t modifiedAt(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return -1;
    return std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
}

}  // namespace

DesktopSessionConfig DesktopSessionConfig::fromEnvironment() {
    DesktopSessionConfig config;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::vector<std::string> folders = dirs && *dirs ? splitPathList(dirs) : std::vector<std::string>{"/etc/xdg"};
    for (const auto& folder : folders) config.autostartFolders.push_back(folder + "/autostart");
    return config;
}

DesktopSession::DesktopSession(DesktopSessionConfig config) : config_(std::move(config)) {}

bool DesktopSession::isDesktopProcess(pid_t pid, const std::function<std::optional<DesktopEntry>()>& entry) {
    const auto program = programOf(pid);
    if (program && isKnownDesktopProgram(*program)) return true;
    {
        std::lock_guard lock(mutex_);
        if (program && autostartPrograms().contains(*program)) return true;
    }
    if (entry) {
        if (auto found = entry(); found && declaresSessionRole(*found)) return true;
    }
    std::lock_guard lock(mutex_);
    return listensOnTheDisplay(pid);
}

std::optional<std::string> DesktopSession::programOf(pid_t pid) const {
    const std::string process = config_.procRoot + "/" + std::to_string(pid);
    char target[4096];
    // A link the kernel writes; read, never followed.
    ssize_t length = ::readlink((process + "/exe").c_str(), target, sizeof target);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof target) {
        std::string_view path(target, static_cast<std::size_t>(length));
        if (path.ends_with(kDeletedSuffix)) path.remove_suffix(kDeletedSuffix.size());
        return baseName(path);
    }
    auto comm = readSmallFileOrNothing(process + "/comm", {.limit = 64, .regularOnly = true});
    if (!comm || comm->empty()) return std::nullopt;
    if (comm->back() == '\n') comm->pop_back();
    return comm;
}

const std::set<std::string>& DesktopSession::autostartPrograms() {
    std::vector<std::int64_t> stamps;
    for (const auto& folder : config_.autostartFolders) stamps.push_back(modifiedAt(folder));
    if (stamps == autostartStamps_) return autostartPrograms_;
    autostartStamps_ = stamps;
    autostartPrograms_.clear();
    std::size_t read = 0;
    for (const auto& folder : config_.autostartFolders) {
        DIR* listing = ::opendir(folder.c_str());
        if (!listing) continue;
        while (const dirent* item = ::readdir(listing)) {
            const std::string name = item->d_name;
            if (!name.ends_with(".desktop") || ++read > kMaxAutostartEntries) continue;
            auto text = readSmallFileOrNothing(folder + "/" + name, {.limit = kMaxEntryBytes, .regularOnly = true});
            auto entry = text ? parseDesktopEntry(*text) : std::nullopt;
            if (!entry || !entry->identifiesApplication() || !declaresSessionRole(*entry)) continue;
            for (const std::string& word : {entry->tryExec, firstExecWord(entry->exec)}) {
                if (!word.empty()) autostartPrograms_.insert(baseName(word));
            }
        }
        ::closedir(listing);
    }
    return autostartPrograms_;
}

bool DesktopSession::listensOnTheDisplay(pid_t pid) {
    const std::string process = config_.procRoot + "/" + std::to_string(pid);
    auto statText = readSmallFileOrNothing(process + "/stat", {.limit = 4096, .regularOnly = true});
    if (!statText) return false;
    auto stat = parseProcessStat(*statText);
    if (!stat) return false;
    const std::pair key{pid, stat->startTime};
    if (auto it = listening_.find(key); it != listening_.end()) return it->second;
    if (listening_.size() >= kMaxRemembered) listening_.clear();

    bool listens = false;
    auto table = readSmallFileOrNothing(config_.procRoot + "/net/unix", {.limit = 4 << 20, .regularOnly = true});
    const std::set<std::uint64_t> displaySockets = table ? listeningDisplaySockets(*table) : std::set<std::uint64_t>{};
    if (!displaySockets.empty()) {
        if (DIR* fds = ::opendir((process + "/fd").c_str())) {
            char target[64];
            for (const dirent* item = ::readdir(fds); item && !listens; item = ::readdir(fds)) {
                ssize_t length = ::readlink((process + "/fd/" + item->d_name).c_str(), target, sizeof target - 1);
                if (length <= 0) continue;
                std::string_view link(target, static_cast<std::size_t>(length));
                if (!link.starts_with("socket:[") || !link.ends_with(']')) continue;
                link = link.substr(8, link.size() - 9);
                listens = displaySockets.contains(std::strtoull(std::string(link).c_str(), nullptr, 10));
            }
            ::closedir(fds);
        }
    }
    listening_[key] = listens;
    return listens;
}

}  // namespace korvane::identity
