#pragma once
// korvanectl's command line, turned into one protocol message.
#include <optional>
#include <string>

#include "shared/protocol/messages.h"
#include "shared/util/expected.h"

namespace korvane::ctl {

struct Invocation {
    std::optional<std::string> socketPath;  // --socket PATH
    int timeoutSeconds = 30;                // --timeout SECONDS: how long to wait for the answer
    msg::Call call;
    bool showHelp = false;     // --help: print the usage and send nothing
    bool showVersion = false;  // --version: print the version and send nothing
};

inline constexpr const char* kUsage =
    "usage: korvanectl [--socket PATH] [--timeout SECONDS] COMMAND\n"
    "       korvanectl --help | --version\n"
    "commands:\n"
    "  ping                        is the helper answering?\n"
    "  throttle PID                give a process the background policy\n"
    "  unthrottle PID              take it away again\n"
    "  throttle-many [PID...]      throttle several processes in one call\n"
    "  unthrottle-all              release every process the helper throttled\n"
    "  jail [BUNDLE_ID...]         replace the list of jailed applications\n"
    "  beast on PID | beast off    Beast Mode for one focus process\n"
    "  fan-mode INDEX manual|auto  switch a fan between manual and automatic\n"
    "  fan-rpm INDEX RPM           set a fan's target speed\n";

// The error text says what was wrong with the arguments.
Expected<Invocation, std::string> parseCommandLine(int argc, const char* const* argv);

}  // namespace korvane::ctl
