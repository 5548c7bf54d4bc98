#pragma once
// Finding the program a desktop entry starts, the way a shell would, and
// writing it the way /proc/PID/exe shows a running one: symbolic links
// resolved.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::identity {

class ExecutableSearch {
public:
    explicit ExecutableSearch(std::vector<std::string> pathFolders) : folders_(std::move(pathFolders)) {}

    // $PATH, or the usual system folders when it is unset.
    static std::vector<std::string> foldersFromEnvironment();

    // The canonical path of the program `word` names: a path containing "/"
    // as it is, a bare name through the search folders. Nothing when no
    // executable file is there.
    std::optional<std::string> resolve(std::string_view word) const;

private:
    std::vector<std::string> folders_;
};

// Splits a colon-separated list, keeping only absolute entries.
std::vector<std::string> splitPathList(std::string_view list);

}  // namespace korvane::identity
