#pragma once
// Which systemd unit a process runs in. Behind an interface so tests can hand
// out unit names without a running systemd.
#include <sys/types.h>

#include <optional>
#include <string>

namespace korvane::identity {

class UnitLookup {
public:
    virtual ~UnitLookup() = default;
    // The unit inside the user's service manager (where desktop launchers put
    // applications), or nothing.
    virtual std::optional<std::string> userUnit(pid_t pid) = 0;
    // The unit of the system manager, or nothing.
    virtual std::optional<std::string> systemUnit(pid_t pid) = 0;
};

}  // namespace korvane::identity
