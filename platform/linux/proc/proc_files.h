#pragma once
// Reading /proc relative to held directory descriptors: the kernel walks no
// path from the root, and a descriptor of /proc/PID reads nothing of a
// later process that is given the same pid.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/util/expected.h"
#include "shared/util/small_file.h"

namespace korvane::linux_platform {

// The whole file at `path` below `directory`, up to `limit` bytes; the
// error is the errno of the open or read. Symbolic links are not followed.
// One read takes a /proc file whole, so a short read ends it.
inline Expected<std::string, int> readProcFileAt(int directory, const char* path, std::size_t limit = 1 << 20) {
    return readSmallFileAt(directory, path, {.limit = limit, .truncate = true, .noFollow = true, .shortReadEnds = true});
}

// The positive decimal names in the directory open at `fd`, read from
// wherever its position is; with `inodes`, each one's inode number too.
std::vector<std::int32_t> numericEntries(int fd, std::vector<std::uint64_t>* inodes = nullptr);

// "ID/rest" (or "ID" when `rest` is empty) in `buffer`.
const char* procPath(char (&buffer)[64], std::int32_t id, const char* rest);

}  // namespace korvane::linux_platform
