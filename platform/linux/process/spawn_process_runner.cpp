#include "platform/linux/process/spawn_process_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace korvane::linux_platform {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    ~Pipe() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
    }
};

LaunchError launchError(int error) { return LaunchError{std::strerror(error)}; }

}  // namespace

Expected<ProcessResult, LaunchError> SpawnProcessRunner::run(const std::string& path,
                                                             const std::vector<std::string>& arguments,
                                                             OutputCapture capture) {
    return runStreaming(path, arguments, capture, {});
}

Expected<ProcessResult, LaunchError> SpawnProcessRunner::runStreaming(const std::string& path,
                                                                      const std::vector<std::string>& arguments,
                                                                      OutputCapture capture,
                                                                      const OutputChunks& onOutput) {
    Pipe pipe;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return unexpected(launchError(errno));
    pipe.read = fds[0];
    pipe.write = fds[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe.write, STDOUT_FILENO);
    if (capture == OutputCapture::Combined) {
        posix_spawn_file_actions_adddup2(&actions, pipe.write, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t child = -1;
    int spawnError = ::posix_spawn(&child, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) return unexpected(launchError(spawnError));

    ::close(pipe.write);
    pipe.write = -1;

    ProcessResult result;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(pipe.read, buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<std::size_t>(n));
            if (onOutput) onOutput(std::string_view(buffer, static_cast<std::size_t>(n)));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }

    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.exitStatus = 128 + WTERMSIG(status);
    }
    return result;
}

}  // namespace korvane::linux_platform
