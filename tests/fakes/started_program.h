#pragma once
// Programs started by a test: run to the end with their two output streams
// apart, or left running and killed when the test ends.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::testing {

// Variables added to (or replacing) the test's own environment.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct CommandResult {
    int exitStatus = -1;  // 128 + signal when a signal ended it
    std::string out;
    std::string err;
};

// Runs argv[0] (a path) and waits for it.
CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment = {});

class StartedProgram {
public:
    // Standard input is /dev/null; standard error goes to `stderrPath` unless empty.
    explicit StartedProgram(std::vector<std::string> argv, const Environment& environment = {},
                            const std::string& stderrPath = {});
    ~StartedProgram();  // SIGKILL if still running
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    pid_t pid() const { return pid_; }
    // True once it has ended (and was reaped, so its pid is never signalled again).
    bool exited();
    // Sends `signal` and waits up to 20 s; the exit status, or -1.
    int stop(int signal);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// The whole file at `path`; empty if it cannot be read.
std::string readText(const std::string& path);

// A pid that named a process a moment ago and names none now.
pid_t endedPid();

// Whether `done` holds within `timeout` of real time, asked every 10 ms.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace korvane::testing
