#pragma once
// The helper's command line: who besides root may connect.
#include <sys/types.h>

#include <optional>
#include <string>

#include "shared/util/expected.h"

namespace korvane::helper {

struct HelperOptions {
    uid_t allowedUid = 0;  // root only unless the installer names the user
    // A taskpolicy program to run once per pid; the work is done in-process without one.
    std::optional<std::string> taskPolicyTool;
    // Puts the fans a stopped helper left in manual back to automatic, then
    // exits: the service manager runs this after every stop, crashes included.
    bool restoreFans = false;
    // Where the helper keeps its own log, capped, when no service manager
    // keeps it; standard error when absent.
    std::optional<std::string> logFile;
    // Releases every process a stopped helper left on record, restores its
    // fans, then exits: what removing the helper does before its files go.
    bool releaseAll = false;
    bool showVersion = false;
    bool showHelp = false;
};

inline constexpr const char* kUsage =
    "usage: com.korvane.helper [--allow-uid=UID] [--log=FILE]\n"
    "       com.korvane.helper --restore-fans\n"
    "       com.korvane.helper --release-all\n"
    "       com.korvane.helper --help | --version\n"
    "Serves Korvane's privileged requests on its local socket. Only root and UID may connect.\n"
    "With --log, its lines go to FILE (mode 0600), kept to about 1 MiB plus FILE.1.\n";

Expected<HelperOptions, std::string> parseOptions(int argc, char** argv);

}  // namespace korvane::helper
