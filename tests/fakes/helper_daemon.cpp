#include "tests/fakes/helper_daemon.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace korvane::testing {
namespace {

Environment withSocket(Environment environment, const std::string& socketPath) {
    environment.emplace_back("KORVANE_HELPER_SOCKET", socketPath);
    return environment;
}

// The file alone is not enough: it appears at bind(), before listen(), and a
// killed helper's file stays behind until the next one replaces it.
bool accepts(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return connected;
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
    eventually([&] { return program_.exited() || (listening = accepts(socketPath_)); }, std::chrono::seconds(20));
    return listening;
}

std::string HelperDaemon::log() const {
    std::stringstream text;
    text << std::ifstream(logPath_).rdbuf();
    return text.str();
}

}  // namespace korvane::testing
