// The helper and korvanectl as built, with the real taskpolicy tool and a
// fixture sysfs tree in which CPU 1 is the only efficiency CPU, on real
// processes recognised by their GLib launch variables.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/process/spawn_process_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/identity/temp_tree.h"

extern char** environ;

namespace korvane {
namespace {

constexpr const char* kAppID = "org.korvane.TestApp";

pid_t spawn(const std::string& program, std::vector<std::string> arguments, std::vector<std::string> extraEnvironment) {
    std::vector<std::string> environment = std::move(extraEnvironment);
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
}

// Cpus_allowed_list of every thread, joined by spaces.
std::string allowedCPUs(pid_t pid) {
    std::string all;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (!line.starts_with("Cpus_allowed_list:")) continue;
            if (!all.empty()) all += ' ';
            all += line.substr(line.find_first_not_of(" \t", 18));
        }
    }
    return all;
}

bool becomes(pid_t pid, const std::string& cpus, std::chrono::milliseconds within) {
    auto deadline = std::chrono::steady_clock::now() + within;
    while (allowedCPUs(pid) != cpus && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return allowedCPUs(pid) == cpus;
}

class JailAndBeastEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        tree.write("sys/devices/cpu_core/cpus", "0\n");
        tree.write("sys/devices/cpu_atom/cpus", "1\n");
        tree.write("sys/devices/system/cpu/online", "0-1\n");
        std::string entry = tree.write(std::string("data/applications/") + kAppID + ".desktop",
                                       "[Desktop Entry]\nType=Application\nName=Test App\nExec=korvane-test-app\n");
        socket = tree.path("helper.sock");
        helper = spawn(KORVANE_HELPER_BINARY, {},
                       {std::string(paths::kSocketOverrideVariable) + "=" + socket,
                        std::string(paths::kSysfsRootVariable) + "=" + tree.path("sys"),
                        std::string(paths::kTaskPolicyOverrideVariable) + "=" + KORVANE_TASKPOLICY_BINARY,
                        "XDG_DATA_DIRS=" + tree.path("data")});
        ASSERT_GT(helper, 0);
        // The shell hands its own pid to the program it becomes, as a GLib
        // launcher does.
        app = spawn("/bin/sh", {"-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec sleep 300"},
                    {"GIO_LAUNCHED_DESKTOP_FILE=" + entry});
        focus = spawn("/bin/sh", {"-c", "exec sleep 300"}, {});
        ASSERT_GT(app, 0);
        ASSERT_GT(focus, 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ctl({"ping"}).output != "alive\n" && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(ctl({"ping"}).output, "alive\n");
        ASSERT_TRUE(becomes(app, "0-1", std::chrono::seconds(2)));  // the exec is done
    }
    void TearDown() override {
        if (helper > 0) {
            ctl({"jail"});
            ctl({"beast", "off"});
        }
        stop(helper, SIGTERM);
        stop(app, SIGKILL);
        stop(focus, SIGKILL);
    }

    ProcessResult ctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--socket", socket});
        auto result = runner.run(KORVANE_CTL_BINARY, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }

    testing::TempTree tree;
    std::string socket;
    pid_t helper = -1, app = -1, focus = -1;
    linux_platform::SpawnProcessRunner runner;
};

TEST_F(JailAndBeastEndToEnd, JailConfinesTheApplicationAndBeastModeEverythingButTheFocus) {
    // The scan that follows a list update, well before the first 5-second tick.
    ASSERT_EQ(ctl({"jail", kAppID}).output, "OK\n");
    EXPECT_TRUE(becomes(app, "1", std::chrono::milliseconds(3000))) << allowedCPUs(app);
    EXPECT_EQ(allowedCPUs(focus), "0-1");

    // Emptying the list stops the jail without releasing; Beast Mode's
    // deactivation releases everything.
    ASSERT_EQ(ctl({"jail"}).output, "OK\n");
    EXPECT_EQ(ctl({"beast", "off"}).output, "OK\n");
    EXPECT_EQ(allowedCPUs(app), "0-1");

    EXPECT_EQ(ctl({"beast", "on", std::to_string(focus)}).output, "OK\n");
    EXPECT_EQ(allowedCPUs(app), "1");
    EXPECT_EQ(allowedCPUs(focus), "0-1");

    EXPECT_EQ(ctl({"beast", "off"}).output, "OK\n");
    EXPECT_EQ(allowedCPUs(app), "0-1");
}

}  // namespace
}  // namespace korvane
