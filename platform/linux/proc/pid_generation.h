#pragma once
// How far the kernel has got in handing out pids: the last pid it gave to a
// process or a thread, the last field of /proc/loadavg. While two readings
// agree, no process and no thread has been born in between, so what was
// listed of the process table then still holds everyone (ends aside). One
// held descriptor, one pread per reading.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

class PidGeneration {
public:
    explicit PidGeneration(const std::string& procRoot = "/proc");

    // Nothing when it cannot be told (no loadavg under a test's /proc);
    // callers then take everything as possibly new.
    std::optional<std::int32_t> now() const;

private:
    OwnedFd loadavg_;
};

// The last pid of a loadavg line ("0.00 0.01 0.05 1/123 4567\n").
std::optional<std::int32_t> parseLastPid(std::string_view loadavg);

}  // namespace korvane::linux_platform
