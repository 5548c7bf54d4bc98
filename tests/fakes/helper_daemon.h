#pragma once
// The built helper binary on a private socket, started for one test and
// stopped when it ends.
#include <unistd.h>

#include <string>

#include "platform/linux/socket/unix_socket.h"
#include "tests/fakes/started_program.h"

namespace korvane::testing {

class HelperDaemon {
  public:
    // Starts `binary` serving this test's user on KORVANE_HELPER_SOCKET=`socketPath`;
    // standard error goes to `logPath`.
    HelperDaemon(const std::string& binary, const std::string& socketPath,
                 const std::string& logPath, Environment environment = {})
        : socketPath_(socketPath),
          logPath_(logPath),
          program_({binary, "--allow-uid=" + std::to_string(::getuid())},
                   withSocket(std::move(environment), socketPath), logPath) {}

    // Waits (up to 20 s) until the socket accepts a connection; false if the
    // helper ended first. The file alone is not enough: it appears at bind(),
    // before listen(), and a killed helper's file stays behind until the next
    // one replaces it.
    bool waitUntilListening() {
        bool listening = false;
        eventually(
            [&] {
                return program_.exited() ||
                       (listening = linux_platform::connectUnix(socketPath_).has_value());
            },
            std::chrono::seconds(20));
        return listening;
    }
    int stop(int signal) { return program_.stop(signal); }
    std::string log() const { return readText(logPath_); }

  private:
    static Environment withSocket(Environment environment, const std::string& socketPath) {
        environment.emplace_back("KORVANE_HELPER_SOCKET", socketPath);
        return environment;
    }

    std::string socketPath_;
    std::string logPath_;
    StartedProgram program_;
};

}  // namespace korvane::testing
