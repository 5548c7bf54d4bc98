#include "shared/util/atomic_file.h"

#include "shared/util/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace korvane {
namespace {

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeAllTo(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

Expected<Done, std::string> writeFileAtomically(const std::string& path, std::string_view contents,
                                                const std::function<void()>& beforeRename) {
    std::string pattern = path + std::string(kTemporarySuffix) + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return unexpected(errnoText("cannot create a temporary file beside " + path));
    std::string temporary(name.data());
    auto fail = [&](const std::string& why) {
        if (fd >= 0) ::close(fd);
        ::unlink(temporary.c_str());
        return unexpected(why);
    };
    if (::fchmod(fd, 0600) != 0) return fail(errnoText("cannot set the mode of " + temporary));
    if (!writeAllTo(fd, contents)) return fail(errnoText("cannot write " + temporary));
    if (::fsync(fd) != 0) return fail(errnoText("cannot flush " + temporary));
    if (::close(fd) != 0) {
        fd = -1;
        return fail(errnoText("cannot close " + temporary));
    }
    fd = -1;
    if (beforeRename) beforeRename();
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(errnoText("cannot replace " + path));
    // The rename itself lives in the directory; flush it too so it survives a power cut.
    int dir = ::open(parentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Done{};
}

Expected<std::string, FileReadError> readWholeFile(const std::string& path) {
    // State and settings files stay far below this; a larger one is not ours.
    auto text = readSmallFile(path, {.limit = 16 << 20});
    if (!text) {
        errno = text.error();
        return unexpected(FileReadError{text.error() == ENOENT, errnoText("cannot read " + path)});
    }
    return std::move(*text);
}

Expected<Done, std::string> makeDirectories(const std::string& path, unsigned mode) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        std::string prefix = path.substr(0, at);
        if (::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            return unexpected(errnoText("cannot create " + prefix));
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return unexpected("not a directory: " + path);
    }
    return Done{};
}

}  // namespace korvane
