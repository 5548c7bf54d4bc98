#pragma once
// The one way the programs read a small file whole: state files, settings,
// desktop entries, sysfs attributes and /proc files alike. Some paths are
// chosen by other users while the reader is root, so the careful options
// (regular files only, no symbolic links) exist for those callers.
#include <cstddef>
#include <fcntl.h>
#include <optional>
#include <string>

#include "shared/util/expected.h"

namespace korvane {

struct SmallFileOptions {
    std::size_t limit = 1 << 20;
    // Longer files fail with EFBIG; with `truncate`, their first `limit`
    // bytes are returned instead.
    bool truncate = false;
    // Anything but a regular file fails with EINVAL before it is opened, so
    // a device's open never has effects and a FIFO never blocks. /proc and
    // sysfs files count as regular.
    bool regularOnly = false;
    // A symbolic link as the last component fails with ELOOP.
    bool noFollow = false;
    // Kernel-generated files (/proc) come whole in one read: a read shorter
    // than the buffer ends the file and saves the read that would return 0.
    bool shortReadEnds = false;
};

// The file at `path`, relative to `directory` when the path is relative
// (AT_FDCWD for the working folder). The error is an errno value.
Expected<std::string, int> readSmallFileAt(int directory, const char* path, const SmallFileOptions& options = {});

inline Expected<std::string, int> readSmallFile(const std::string& path, const SmallFileOptions& options = {}) {
    return readSmallFileAt(AT_FDCWD, path.c_str(), options);
}

// For callers to whom every failure means the same: nothing to read.
inline std::optional<std::string> readSmallFileOrNothing(const std::string& path, const SmallFileOptions& options = {}) {
    auto text = readSmallFile(path, options);
    return text ? std::optional<std::string>(std::move(*text)) : std::nullopt;
}

}  // namespace korvane
