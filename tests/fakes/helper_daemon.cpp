#include "tests/fakes/helper_daemon.h"

#include <unistd.h>


#include "platform/linux/socket/unix_socket.h"

namespace korvane::testing {
namespace {

Environment withSocket(Environment environment, const std::string& socketPath) {
    environment.emplace_back("KORVANE_HELPER_SOCKET", socketPath);
    return environment;
}

}  // namespace

HelperDaemon::HelperDaemon(const std::string& binary, const std::string& socketPath, const std::string& logPath,
                           Environment environment)
    : socketPath_(socketPath),
      logPath_(logPath),
      program_({binary, "--allow-uid=" + std::to_string(::getuid())}, withSocket(std::move(environment), socketPath),
               logPath) {}

bool HelperDaemon::waitUntilListening() {
    bool listening = false;
    // The file alone is not enough: it appears at bind(), before listen(), and
    // a killed helper's file stays behind until the next one replaces it.
    auto accepts = [this] { return linux_platform::connectUnix(socketPath_).has_value(); };
    eventually([&] { return program_.exited() || (listening = accepts()); }, std::chrono::seconds(20));
    return listening;
}

std::string HelperDaemon::log() const { return readText(logPath_); }

}  // namespace korvane::testing
