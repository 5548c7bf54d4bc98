#include "app/ui/onboarding/install_plan.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/paths/installed_paths.h"

namespace korvane::app {

std::string installScriptPath(const std::string& installPrefix) {
    return installPrefix + "/share/korvane/install_helper.sh";
}

InstallCommand composeInstallCommand(const InstallPlan& plan) {
    std::string script = installScriptPath(plan.installPrefix);
    std::error_code ignored;
    if (std::filesystem::is_regular_file(script, ignored)) {
        return {plan.privilegeRunner, {"/bin/bash", script, plan.helperSource}};
    }
    std::string command =
        plan.builtInCommand ? plan.builtInCommand(plan.helperSource) : std::string("false");
    return {plan.privilegeRunner, {"/bin/bash", "-c", command + " && echo 'SUCCESS:Done'"}};
}

Expected<InstallCommand, std::string> resolveInstallCommand(const InstallPlan& plan) {
    if (plan.composed) return plan.composed();
    return composeInstallCommand(plan);
}

std::string privilegeRunner() {
    const char* overridden = std::getenv(kPrivilegeRunnerVariable);
    return overridden && *overridden ? std::string(overridden) : std::string("pkexec");
}

std::string runningInstallPrefix() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "/usr/local";
    return program.parent_path().parent_path().string();
}

InstallPlan defaultInstallPlan() {
    std::string prefix = runningInstallPrefix();
    return {prefix, prefix + "/libexec/korvane/" + std::string(paths::kServiceName),
            privilegeRunner(), simpleBuiltInInstallCommand, nullptr};
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string simpleBuiltInInstallCommand(const std::string& helperSource) {
    std::filesystem::path tool(paths::kHelperExecutable);
    std::string source = shellQuoted(helperSource);
    std::string target = shellQuoted(tool.string());
    std::string service(paths::kServiceName);
    // Installed in place already (a package or `cmake --install` put it
    // there): copying a file onto itself would fail, so it is skipped.
    return "/bin/mkdir -p " + shellQuoted(tool.parent_path().string()) + " && { [ " + source +
           " -ef " + target + " ] || /bin/cp -f " + source + " " + target +
           "; } && /bin/chmod 755 " + target + " && /bin/chown root:root " + target +
           " && { [ ! -d /run/systemd/system ] || [ ! -f " +
           shellQuoted(std::string(paths::kHelperServiceFile)) + " ] || /bin/systemctl restart " +
           service + "; }";
}

}  // namespace korvane::app
