#pragma once
// Which command the setup window runs to install the helper, and through
// which privilege runner.
#include <functional>
#include <string>
#include <vector>

#include "shared/util/expected.h"

namespace korvane::app {

// A privilege runner other than pkexec, for tests (a stand-in that runs the
// command as it is).
inline constexpr const char* kPrivilegeRunnerVariable = "KORVANE_PRIVILEGE_RUNNER";

// The shell command that installs the helper from `helperSource` when no
// install script is shipped. It must fail (non-zero status) when any step fails.
using BuiltInInstallComposer = std::function<std::string(const std::string& helperSource)>;

struct InstallCommand {
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const InstallCommand&) const = default;
};

struct InstallPlan {
    // The installation's prefix; the script lives in <prefix>/share/korvane/.
    std::string installPrefix;
    // The helper executable the installation copies into place.
    std::string helperSource;
    // The program that runs the command as root.
    std::string privilegeRunner;
    BuiltInInstallComposer builtInCommand;
    // The whole command (runner included) as the helper's installer composes
    // it; when given, the fields above are not used. The error is a sentence
    // for the user.
    std::function<Expected<InstallCommand, std::string>()> composed;
};

// <prefix>/share/korvane/install_helper.sh
std::string installScriptPath(const std::string& installPrefix);

// <runner> /bin/bash <script> <helperSource> when the script is installed;
// otherwise <runner> /bin/bash -c "<built-in command> && echo 'SUCCESS:Done'",
// so the log ends with the seal even though the command prints nothing else.
InstallCommand composeInstallCommand(const InstallPlan& plan);

// The installer's command when the plan has one, else composeInstallCommand.
Expected<InstallCommand, std::string> resolveInstallCommand(const InstallPlan& plan);

// KORVANE_PRIVILEGE_RUNNER when set, else pkexec.
std::string privilegeRunner();

// The running program's prefix: the folder above the one holding it.
std::string runningInstallPrefix();

// The plan for this installation, with the simple built-in command below.
InstallPlan defaultInstallPlan();

// Copies the helper to the installed place and starts its service when
// systemd runs; every step after the first only when the one before succeeded.
std::string simpleBuiltInInstallCommand(const std::string& helperSource);

// `text` between single quotes, safe for any content.
std::string shellQuoted(const std::string& text);

}  // namespace korvane::app
