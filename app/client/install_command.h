#pragma once
// What the privilege runner is asked to run to install or remove the helper:
// always the install script, which alone holds the steps. Each argument is
// its own argv word, so no path needs quoting.
#include <string>
#include <string_view>
#include <vector>

#include "app/client/helper_install_setup.h"
#include "shared/util/expected.h"

namespace korvane::app {

// Where an installation puts its files, all under `root` (empty on a real system).
struct InstalledFiles {
    std::string root;
    std::string tool() const;          // the helper executable
    std::string unit() const;          // the systemd unit
    std::string runDirectory() const;  // the socket's folder and the helper's records
    std::string pidFile() const;       // the helper started without systemd
    std::string logFile() const;       // its standard error
    std::string socket() const;
};

// The privilege runner and its arguments: the script with the helper to copy
// and the user to serve, or with --remove. Without a runner (Korvane runs as
// root) the same words without it. A private root reaches the script through
// env, since pkexec clears the environment. The error is the user-facing
// refusal.
Expected<std::vector<std::string>, std::string> helperInstallInvocation(const HelperInstallSetup& setup,
                                                                        const std::string& root);
Expected<std::vector<std::string>, std::string> helperRemoveInvocation(const HelperInstallSetup& setup,
                                                                       const std::string& root);

// The one line a user runs in a terminal where the privilege runner cannot
// ask (no polkit agent or authority): the install invocation under sudo.
// Words are quoted only where the shell needs it.
Expected<std::string, std::string> terminalInstallCommand(const HelperInstallSetup& setup, const std::string& root);

}  // namespace korvane::app
