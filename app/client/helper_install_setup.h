#pragma once
// What installing the helper needs to know about this machine. The program's
// main fills it in (platform/linux/install); tests build their own.
#include <cstdint>
#include <string>

#include "shared/process/process_runner.h"

namespace korvane::app {

struct HelperInstallSetup {
    // Starts the privilege runner and waits for it. Installing runs it on a
    // thread of its own; removing blocks the main thread on it.
    ProcessRunner* runner = nullptr;
    // pkexec, or a stand-in that takes the same arguments; empty when
    // Korvane runs as root and starts the installation itself.
    std::string privilegeRunner = "/usr/bin/pkexec";
    // The helper executable that gets copied into place.
    std::string sourceExecutable;
    // The install_helper.sh the installation runs: the installed one a polkit
    // action names, so the dialog speaks of Korvane, or without a runner the
    // shipped one; empty otherwise (a build tree under pkexec), and the
    // composed command runs under /bin/sh instead.
    std::string installScript;
    // The install_helper.sh that comes with this installation or build tree,
    // for the command a user can run in a terminal; empty when none is found.
    std::string shippedScript{};
    // The user the helper will serve besides root.
    std::uint32_t allowedUid = 0;
    // systemd is the init system: the helper becomes a service. Otherwise it
    // is started directly and does not come back after a reboot.
    bool systemdRunning = false;
};

}  // namespace korvane::app
