#include "app/ui/onboarding/install_plan.h"

#include <filesystem>
#include <system_error>

namespace korvane::app {

Expected<InstallCommand, std::string> resolveInstallCommand(const InstallPlan& plan) {
    if (!plan.composed) return unexpected(std::string("no installer command"));
    return plan.composed();
}

std::string runningInstallPrefix() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "/usr/local";
    return program.parent_path().parent_path().string();
}

}  // namespace korvane::app
