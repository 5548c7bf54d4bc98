#pragma once
// How this machine installs the helper: where the shipped helper and the
// install script are, whether systemd runs. Also where the shipped icons are.
#include <string>

#include "app/client/helper_install_setup.h"

namespace korvane::linux_platform {

struct InstallEnvironment {
    std::string programPath{};                // the running korvane, e.g. /usr/bin/korvane
    std::string installRoot{};                // KORVANE_INSTALL_ROOT, empty on a real system
    std::string privilegeRunner{};            // KORVANE_PRIVILEGE_RUNNER, empty for pkexec
    std::string systemRoot = "/";             // where /run/systemd is looked for
    bool runningAsRoot = false;               // root needs no runner to become root
};

// The environment of this process: its own executable, its user and the two test variables.
InstallEnvironment currentInstallEnvironment();

app::HelperInstallSetup detectHelperInstallSetup(const InstallEnvironment& environment, ProcessRunner& runner);

// The icon folder (…/share/icons) that holds `themedIcon` ("hicolor/…"):
// the installation's beside the program, else a build tree's data folder;
// empty when neither has it.
std::string shippedIconFolder(const std::string& programPath, const std::string& themedIcon);

}  // namespace korvane::linux_platform
