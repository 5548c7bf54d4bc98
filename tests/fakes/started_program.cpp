#include "tests/fakes/started_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

// Reads the whole file and closes it.
std::string contentsOf(FILE* file) {
    std::string text;
    if (!file) return text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
    return text;
}

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
    int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::dup2(null, STDIN_FILENO);
    if (out >= 0) ::dup2(out, STDOUT_FILENO);
    if (err >= 0) ::dup2(err, STDERR_FILENO);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment) {
    // Files rather than pipes: a daemon the command leaves behind cannot hold
    // the wait up, and nothing has to be drained while it runs.
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    CommandResult result;
    if (out && err) {
        for (FILE* file : {out, err}) ::fcntl(::fileno(file), F_SETFD, FD_CLOEXEC);
        pid_t pid = launch(argv, environment, ::fileno(out), ::fileno(err));
        int raw = 0;
        if (pid > 0 && ::waitpid(pid, &raw, 0) == pid) result.exitStatus = statusOf(raw);
    }
    result.out = contentsOf(out);
    result.err = contentsOf(err);
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
    return eventually([this] { return exited(); }, 20s) ? status_ : -1;
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    for (auto deadline = std::chrono::steady_clock::now() + timeout; !done(); std::this_thread::sleep_for(10ms)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
}

std::string readText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

pid_t endedPid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace korvane::testing
