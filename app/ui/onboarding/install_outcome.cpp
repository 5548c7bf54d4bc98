#include "app/ui/onboarding/install_outcome.h"

#include "shared/util/utf8.h"

namespace korvane::app {

namespace {

// Standard error as the log shows it: without the final line feed the runner
// writes, and empty when it is not UTF-8 text.
std::string errorText(const std::string& standardError) {
    if (!isValidUtf8(standardError)) return {};
    std::string_view text = standardError;
    auto last = text.find_last_not_of(" \t\r\n");
    return std::string(last == std::string_view::npos ? std::string_view()
                                                      : text.substr(0, last + 1));
}

}  // namespace

InstallOutcome describeInstallExit(const InstallExit& exit) {
    InstallOutcome outcome;
    if (exit.status == 0) {
        outcome.succeeded = true;
        outcome.logEntry = {"checkmark.seal.fill", "Installation complete!", false};
        outcome.logLine = "Onboarding — Helper kurulumu başarılı.";
        return outcome;
    }
    if (exit.status == kDialogDismissedStatus) {
        outcome.installError = "Installation cancelled. Please try again.";
        outcome.logEntry = {"xmark.circle.fill", "Cancelled by user", true};
    } else if (exit.status == kRunnerCouldNotAskStatus) {
        // pkexec's own words ("Error getting authority: …") say nothing a
        // user can act on; they go to the log, the page offers the terminal.
        outcome.runnerCouldNotAsk = true;
        outcome.installError = std::string(kNoApprovalText);
        outcome.logEntry = {"xmark.circle.fill", "Failed: no administrator approval could be asked for", true};
        outcome.runnerWords = errorText(exit.standardError);
    } else {
        outcome.installError =
            "Installation failed (exit code " + std::to_string(exit.status) + ")";
        outcome.logEntry = {"xmark.circle.fill", "Failed: " + errorText(exit.standardError), true};
    }
    outcome.logLine =
        "Onboarding — Helper kurulumu başarısız (exit=" + std::to_string(exit.status) + ")";
    return outcome;
}

std::string couldNotStartText(const std::string& reason) {
    return "Could not start installer: " + reason;
}

}  // namespace korvane::app
