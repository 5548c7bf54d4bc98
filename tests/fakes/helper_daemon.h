#pragma once
// The built helper binary, started for one test and stopped when it ends, and
// a way to run a command and see its two output streams apart.
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace korvane::testing {

struct CommandResult {
    int exitStatus = -1;  // 128 + signal when a signal ended it
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) with `environment` added to ours and waits for it.
CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment = {});

class HelperDaemon {
public:
    // Starts `binary` with `arguments`; standard error goes to `logPath`.
    HelperDaemon(const std::string& binary, std::vector<std::string> arguments, const std::string& socketPath,
                 const std::string& logPath, std::vector<std::pair<std::string, std::string>> environment = {});
    ~HelperDaemon();  // SIGKILL if still running
    HelperDaemon(const HelperDaemon&) = delete;
    HelperDaemon& operator=(const HelperDaemon&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Waits (up to 20 s) until the socket file exists.
    bool waitUntilListening() const;
    // Sends `signal` and waits up to 20 s; the exit status, or -1.
    int stop(int signal);
    std::string log() const;
    std::vector<std::string> logLines() const;

private:
    std::string socketPath_;
    std::string logPath_;
    pid_t pid_ = -1;
};

}  // namespace korvane::testing
