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
    // Korvane runs as root and starts the install script itself.
    std::string privilegeRunner = "/usr/bin/pkexec";
    // The helper this installation ships, which gets copied to the installed
    // tool; never the tool itself, which removal deletes.
    std::string sourceExecutable;
    // install_helper.sh, which holds every step of installing and removing:
    // the installed one (its polkit action names it, so the dialog speaks of
    // Korvane) or the build tree's copy.
    std::string installScript;
    // The user the helper will serve besides root.
    std::uint32_t allowedUid = 0;
    // systemd is the init system: the helper becomes a service. Otherwise it
    // is started directly and does not come back after a reboot.
    bool systemdRunning = false;
};

}  // namespace korvane::app
