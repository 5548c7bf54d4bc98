#pragma once
// The built helper binary on a private socket, started for one test and
// stopped when it ends.
#include <string>

#include "tests/fakes/started_program.h"

namespace korvane::testing {

class HelperDaemon {
public:
    // Starts `binary` serving this test's user on KORVANE_HELPER_SOCKET=`socketPath`;
    // standard error goes to `logPath`.
    HelperDaemon(const std::string& binary, const std::string& socketPath, const std::string& logPath,
                 Environment environment = {});

    // Waits (up to 20 s) until the socket accepts a connection; false if the
    // helper ended first.
    bool waitUntilListening();
    int stop(int signal) { return program_.stop(signal); }
    std::string log() const;

private:
    std::string socketPath_;
    std::string logPath_;
    StartedProgram program_;
};

}  // namespace korvane::testing
