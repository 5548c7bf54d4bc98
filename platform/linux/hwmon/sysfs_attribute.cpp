#include "platform/linux/hwmon/sysfs_attribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "shared/util/small_file.h"

namespace korvane::linux_platform::sysfs {

std::optional<std::string> readText(const std::string& path) {
    // Attributes are short; a huge file is not one, and its start is enough.
    auto text = readSmallFileOrNothing(path, {.limit = 4096, .truncate = true});
    if (!text) return std::nullopt;
    const char* space = " \t\r\n";
    auto first = text->find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    auto last = text->find_last_not_of(space);
    return text->substr(first, last - first + 1);
}

std::optional<long long> readInteger(const std::string& path) {
    auto text = readText(path);
    if (!text || text->empty()) return std::nullopt;
    long long value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

Expected<Done, int> writeInteger(const std::string& path, long long value) {
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return unexpected(errno);
    std::string text = std::to_string(value) + "\n";
    ssize_t written = 0;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    int writeError = written < 0 ? errno : 0;
    if (written >= 0 && static_cast<std::size_t>(written) != text.size()) writeError = EIO;
    if (::close(fd) != 0 && writeError == 0) writeError = errno;
    if (writeError != 0) return unexpected(writeError);
    return Done{};
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool isWritable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace korvane::linux_platform::sysfs
