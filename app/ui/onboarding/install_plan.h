#pragma once
// Which command the setup window runs to install the helper: the one the
// helper's installer composes (the install script through the privilege
// runner), exactly as the popover's Install runs it.
#include <functional>
#include <string>
#include <vector>

#include "shared/util/expected.h"

namespace korvane::app {

struct InstallCommand {
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const InstallCommand&) const = default;
};

struct InstallPlan {
    // The whole command, runner included. The error is a sentence for the user.
    std::function<Expected<InstallCommand, std::string>()> composed;
};

// The plan's command, or why there is none.
Expected<InstallCommand, std::string> resolveInstallCommand(const InstallPlan& plan);

// The running program's prefix: the folder above the one holding it.
std::string runningInstallPrefix();

}  // namespace korvane::app
