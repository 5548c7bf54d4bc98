#include "platform/linux/identity/executable_search.h"

#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>

namespace korvane::identity {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
}

std::optional<std::string> canonical(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

}  // namespace

std::vector<std::string> splitPathList(std::string_view list) {
    std::vector<std::string> folders;
    while (true) {
        std::size_t colon = list.find(':');
        std::string_view item = list.substr(0, colon);
        if (item.starts_with('/')) folders.emplace_back(item);
        if (colon == std::string_view::npos) return folders;
        list.remove_prefix(colon + 1);
    }
}

std::vector<std::string> ExecutableSearch::foldersFromEnvironment() {
    const char* path = std::getenv("PATH");
    if (path && *path) return splitPathList(path);
    return {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"};
}

std::optional<std::string> ExecutableSearch::resolve(std::string_view word) const {
    if (word.empty()) return std::nullopt;
    if (word.find('/') != std::string_view::npos) {
        // A relative path depends on the launcher's working folder, which we
        // cannot know.
        if (!word.starts_with('/')) return std::nullopt;
        std::string path(word);
        if (!isExecutableFile(path)) return std::nullopt;
        return canonical(path);
    }
    for (const auto& folder : folders_) {
        std::string candidate = folder + "/" + std::string(word);
        if (isExecutableFile(candidate)) return canonical(candidate);
    }
    return std::nullopt;
}

}  // namespace korvane::identity
