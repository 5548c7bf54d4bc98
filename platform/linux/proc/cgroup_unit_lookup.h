#pragma once
// The systemd units of a process read from /proc/PID/cgroup, as libsystemd
// would read them, without loading libsystemd into the helper.
#include <string>

#include "shared/identity/unit_lookup.h"

namespace korvane::linux_platform {

class CgroupUnitLookup final : public identity::UnitLookup {
public:
    explicit CgroupUnitLookup(std::string procRoot = "/proc") : procRoot_(std::move(procRoot)) {}
    std::optional<std::string> userUnit(pid_t pid) override;
    std::optional<std::string> systemUnit(pid_t pid) override;

private:
    std::string procRoot_;
};

}  // namespace korvane::linux_platform
