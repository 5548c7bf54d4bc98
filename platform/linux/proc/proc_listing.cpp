#include "platform/linux/proc/proc_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "shared/util/utf8.h"

namespace korvane::linux_platform {
namespace {

// ps shows long command lines whole; this only bounds what one process can
// make us hold.
constexpr std::size_t kCommandLineLimit = 256 * 1024;

bool isPidName(const char* name) {
    if (*name == '\0') return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9') return false;
    }
    return true;
}

// Opened relative to the /proc folder, which spares the kernel walking the
// root's path for every process.
std::string readCommandLine(int procFolder, const std::string& relativePath) {
    std::string bytes;
    int fd = ::openat(procFolder, relativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    char buffer[4096];
    while (bytes.size() < kCommandLineLimit) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        // The kernel fills a read as far as the command line goes, so a
        // short read is its end; this saves a read per process and tick.
        if (static_cast<std::size_t>(n) < sizeof buffer) break;
    }
    ::close(fd);
    if (bytes.size() > kCommandLineLimit) bytes.resize(kCommandLineLimit);
    return bytes;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Appends the command line with NULs turned into spaces and everything ps
// would not print as it is turned into "?".
void appendPrintable(std::string& out, std::string_view raw) {
    while (!raw.empty() && raw.back() == '\0') raw.remove_suffix(1);
    for (std::size_t i = 0; i < raw.size();) {
        auto byte = static_cast<unsigned char>(raw[i]);
        if (byte == 0) {
            out += ' ';
            ++i;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += '?';
            ++i;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else {
            std::size_t length = sequenceLength(byte);
            std::string_view sequence = raw.substr(i, length);
            if (sequence.size() == length && isValidUtf8(sequence)) {
                out += sequence;
                i += length;
            } else {
                out += '?';
                ++i;
            }
        }
    }
}

}  // namespace

Expected<std::string, std::string> readProcessListing(const std::string& procRoot) {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(procRoot.c_str()), ::closedir);
    if (!folder) return unexpected(procRoot + ": " + std::strerror(errno));
    std::string listing = "    PID COMMAND\n";
    while (dirent* entry = ::readdir(folder.get())) {
        if (!isPidName(entry->d_name)) continue;
        std::string commandLine = readCommandLine(::dirfd(folder.get()), std::string(entry->d_name) + "/cmdline");
        if (commandLine.find_first_not_of('\0') == std::string::npos) continue;
        listing += entry->d_name;
        listing += ' ';
        appendPrintable(listing, commandLine);
        listing += '\n';
    }
    return listing;
}

}  // namespace korvane::linux_platform
