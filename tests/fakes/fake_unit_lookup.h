#pragma once
// Systemd units handed out by a test, without a running systemd.
#include <map>
#include <optional>
#include <string>

#include "shared/identity/unit_lookup.h"

namespace korvane::testing {

class FakeUnits final : public identity::UnitLookup {
public:
    std::optional<std::string> userUnit(pid_t pid) override { return find(user, pid); }
    std::optional<std::string> systemUnit(pid_t pid) override {
        ++systemQuestions;
        return find(system, pid);
    }
    std::map<pid_t, std::string> user, system;
    int systemQuestions = 0;

private:
    static std::optional<std::string> find(const std::map<pid_t, std::string>& units, pid_t pid) {
        auto it = units.find(pid);
        return it == units.end() ? std::nullopt : std::optional(it->second);
    }
};

}  // namespace korvane::testing
