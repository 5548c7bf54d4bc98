#pragma once
// Reading a file inside another process's root (/proc/PID/root), which that
// process's owner chooses: a chroot of their own, links and bind mounts in it
// may lead anywhere. The file is resolved inside that root, is never a link,
// must be a regular file on an ordinary file system, and is read with the
// owner's rights, so nothing the owner could not read themselves, and no
// kernel file whose reading has effects, is ever read for them.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/identity/reading_rights.h"
#include "shared/util/expected.h"

namespace korvane::identity {

// `name` below the root folder `processRoot` (a /proc/PID/root), at most
// `limit` bytes, read with the rights `owner` gives; it is asked only when
// there is a file to read (most processes have none). The error is an
// errno value: ELOOP for a link, EINVAL for anything but a regular file,
// EXDEV for a file of a kernel file system (procfs, sysfs, devices and the
// like) or of a user's FUSE mount, EFBIG past the limit, EPERM when the
// owner is unknown or their rights could not be taken.
Expected<std::string, int> readInProcessRoot(const std::string& processRoot, std::string_view name,
                                             std::size_t limit,
                                             const std::function<std::optional<FileReader>()>& owner);

}  // namespace korvane::identity
