#pragma once
// How the end of the installation reads on the install page and in the log.
#include <optional>
#include <string>
#include <string_view>

#include "app/ui/onboarding/install_output.h"

namespace korvane::app {

// The privilege runner's status when the user dismissed its dialog.
inline constexpr int kDialogDismissedStatus = 126;
// Its status when it could not ask at all: no polkit agent or authority, or
// the user may not become root. The installation itself never ends so.
inline constexpr int kRunnerCouldNotAskStatus = 127;

// What the install page says when the runner could not ask.
inline constexpr std::string_view kNoApprovalText =
    "No administrator approval could be asked for on this desktop: no polkit agent answers, or this user may not "
    "ask for one.";

struct InstallExit {
    // The exit status; 128 + the signal number when a signal ended it.
    int status = 0;
    std::string standardError;
};

struct InstallOutcome {
    bool succeeded = false;
    bool runnerCouldNotAsk = false;           // a terminal may do what the runner could not
    std::optional<std::string> installError;  // shown in red under the log
    InstallLogLine logEntry;                  // the log's last entry
    std::string logLine;                      // for the application log, without "Korvane: "
    std::string runnerWords;                  // the runner's own failure, for the log only
};

InstallOutcome describeInstallExit(const InstallExit& exit);

// The failure when the runner could not be started at all.
std::string couldNotStartText(const std::string& reason);

}  // namespace korvane::app
