#include "shared/identity/unit_lookup.h"

#include <systemd/sd-login.h>

#include <cstdlib>

namespace korvane::identity {
namespace {

std::optional<std::string> take(int result, char* unit) {
    std::optional<std::string> name;
    if (result >= 0 && unit != nullptr) name = std::string(unit);
    std::free(unit);
    return name;
}

}  // namespace

std::optional<std::string> SystemdUnitLookup::userUnit(pid_t pid) {
    char* unit = nullptr;
    int result = sd_pid_get_user_unit(pid, &unit);
    return take(result, unit);
}

std::optional<std::string> SystemdUnitLookup::systemUnit(pid_t pid) {
    char* unit = nullptr;
    int result = sd_pid_get_unit(pid, &unit);
    return take(result, unit);
}

}  // namespace korvane::identity
