#include "platform/linux/proc/cgroup_unit_lookup.h"

#include "platform/linux/proc/process_tree.h"
#include "shared/identity/unit_name.h"

namespace korvane::linux_platform {

std::optional<std::string> CgroupUnitLookup::userUnit(pid_t pid) {
    auto text = readCgroup(procRoot_, pid);
    return text ? identity::unitsFromCgroup(*text).userUnit : std::nullopt;
}

std::optional<std::string> CgroupUnitLookup::systemUnit(pid_t pid) {
    auto text = readCgroup(procRoot_, pid);
    return text ? identity::unitsFromCgroup(*text).systemUnit : std::nullopt;
}

}  // namespace korvane::linux_platform
