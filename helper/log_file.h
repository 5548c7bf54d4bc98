#pragma once
// The helper's own log when no service manager keeps it (the installer
// starts it without systemd): a file only root may read, since its lines
// name other users' processes and applications, kept to about kCap bytes
// plus one older file beside it (PATH.1).
#include <cstddef>
#include <string>

#include "shared/util/expected.h"

namespace korvane::helper {

class LogFile {
public:
    static constexpr std::size_t kCap = 1 << 20;

    // Opens (or creates) `path`, mode 0600, and makes it the helper's
    // standard error, so every line the helper writes lands there.
    static Expected<LogFile, std::string> open(std::string path, std::size_t cap = kCap);

    // Called before `bytes` more are written to standard error: a file that
    // would grow past the cap becomes PATH.1 (replacing the one before) and
    // a new file takes its place.
    void makeRoomFor(std::size_t bytes);

private:
    LogFile(std::string path, std::size_t cap) : path_(std::move(path)), cap_(cap) {}
    Expected<Done, std::string> openAsStandardError();

    std::string path_;
    std::size_t cap_;
};

}  // namespace korvane::helper
