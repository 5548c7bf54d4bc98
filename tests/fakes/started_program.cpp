#include "tests/fakes/started_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

// Everything the child needs is prepared before fork(), so the child only
// calls functions that are safe after forking a threaded process.
pid_t launch(const std::vector<std::string>& argv, const Environment& env, int out, int err) {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : env) replaced = replaced || entry.starts_with(name + "=");
        if (!replaced) entries.push_back(entry);
    }
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& e : entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid != 0) return pid;
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    if (out >= 0) ::dup2(out, STDOUT_FILENO);
    if (err >= 0) ::dup2(err, STDERR_FILENO);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    pid_t pid = launch(argv, environment, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    CommandResult result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 30000) > 0) {
        for (auto& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t n = ::read(p.fd, buffer, sizeof buffer);
            if (n > 0) {
                (p.fd == out[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(p.fd);
                p.fd = -1;
                --open;
            }
        }
    }
    for (auto& p : fds) {
        if (p.fd >= 0) ::close(p.fd);
    }
    int raw = 0;
    if (pid > 0 && ::waitpid(pid, &raw, 0) == pid) result.exitStatus = statusOf(raw);
    return result;
}

StartedProgram::StartedProgram(std::vector<std::string> argv, const Environment& environment,
                               const std::string& stderrPath) {
    int err = stderrPath.empty() ? -1 : ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = launch(argv, environment, -1, err);
    if (err >= 0) ::close(err);
}

StartedProgram::~StartedProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool StartedProgram::exited() {
    int raw = 0;
    if (pid_ > 0 && ::waitpid(pid_, &raw, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = statusOf(raw);
    }
    return pid_ <= 0;
}

int StartedProgram::stop(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
    for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
        if (exited()) return status_;
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

pid_t endedPid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace korvane::testing
