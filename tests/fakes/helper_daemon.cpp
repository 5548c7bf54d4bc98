#include "tests/fakes/helper_daemon.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

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
    using namespace std::chrono_literals;
    for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
        if (program_.exited()) return false;
        if (accepts(socketPath_)) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::string HelperDaemon::log() const {
    std::stringstream text;
    text << std::ifstream(logPath_).rdbuf();
    return text.str();
}

std::vector<std::string> HelperDaemon::logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(log());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace korvane::testing
