#pragma once
// Whole-file replacement that a crash cannot tear: the new contents go to a
// temporary file beside the target, are flushed to the disk, and only then
// take the target's name. At any moment the target holds either all of the
// old contents or all of the new.
#include <functional>
#include <string>
#include <string_view>

#include "shared/util/expected.h"

namespace korvane {

// The temporary files are named `path` + kTemporarySuffix + six random characters.
inline constexpr std::string_view kTemporarySuffix = ".tmp-";

// `beforeRename` runs after the new contents are on the disk and before they
// take the target's name; tests use it to stop the process at that point.
Expected<Done, std::string> writeFileAtomically(const std::string& path, std::string_view contents,
                                                const std::function<void()>& beforeRename = {});

// Reads a whole file. The error names the reason; `missing` tells an absent
// file from one that could not be read.
struct FileReadError {
    bool missing = false;
    std::string reason;
};
Expected<std::string, FileReadError> readWholeFile(const std::string& path);

// Creates `path` and its missing parents with `mode`.
Expected<Done, std::string> makeDirectories(const std::string& path, unsigned mode);

}  // namespace korvane
