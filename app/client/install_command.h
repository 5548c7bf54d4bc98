#pragma once
// The shell commands that install and remove the helper as root. They are
// handed to the privilege runner as one argv word, so the only quoting is the
// shell's own: every path and the unit text are single-quoted words. Paths
// containing a single quote are refused before anything runs.
#include <cstdint>
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
    std::string runDirectory() const;  // the socket's folder
    std::string pidFile() const;       // the helper started without systemd
    std::string logFile() const;       // its standard error
    std::string socket() const;
};

struct HelperInstallPlan {
    std::string source;  // the executable to copy
    InstalledFiles files;
    std::uint32_t allowedUid = 0;
    bool systemd = false;
    // Print "SUCCESS:Done" at the end, as the install script does, for a
    // caller that shows the progress lines.
    bool announceSuccess = false;
};

// The unit for `helperPath` serving `allowedUid`, exactly as it is written.
std::string helperUnitText(std::string_view helperPath, std::uint32_t allowedUid);

// `text` as one single-quoted shell word; a quote inside is closed, escaped
// and reopened, so any text survives.
std::string shellWord(std::string_view text);

// The installation: stop an old helper (ignoring failure), then each step only
// if the one before succeeded. Its exit status is never 126 or 127, which
// belong to the privilege runner. The error is the user-facing refusal.
Expected<std::string, std::string> composeInstallCommand(const HelperInstallPlan& plan, std::string_view unitText);
Expected<std::string, std::string> composeRemoveCommand(const InstalledFiles& files, bool systemd);

// The privilege runner and its arguments: the install script when its polkit
// action is installed (the dialog then names Korvane), else the composed
// command under /bin/sh. Without a runner (Korvane runs as root) the same
// words without it. The error is the user-facing refusal.
Expected<std::vector<std::string>, std::string> helperInstallInvocation(const HelperInstallSetup& setup,
                                                                        const std::string& root,
                                                                        bool announceSuccess = false);
Expected<std::vector<std::string>, std::string> helperRemoveInvocation(const HelperInstallSetup& setup,
                                                                       const std::string& root);

// The one line a user runs in a terminal where the privilege runner cannot
// ask (no polkit agent or authority): sudo with the shipped script, the
// helper to copy and the user to serve; without a script, the composed
// command under sudo /bin/sh. Words are quoted only where the shell needs it.
Expected<std::string, std::string> terminalInstallCommand(const HelperInstallSetup& setup, const std::string& root);

}  // namespace korvane::app
