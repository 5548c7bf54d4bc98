// The helper and korvanectl as built, with the real taskpolicy tool and a
// fixture sysfs tree in which CPU 1 is the only efficiency CPU, on real
// processes recognised by their GLib launch variables.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/fakes/helper_daemon.h"
#include "tests/identity/temp_tree.h"

extern char** environ;

namespace korvane {
namespace {

constexpr const char* kAppID = "org.korvane.TestApp";

// A shell that becomes `sleep`, with `variable` added to its environment.
pid_t startSleeper(const std::string& script, std::string variable) {
    std::vector<char*> envp{variable.data()};
    for (char** entry = environ; *entry; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", flag = "-c", command = script;
    char* argv[] = {shell.data(), flag.data(), command.data(), nullptr};
    pid_t pid = -1;
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, envp.data()) == 0 ? pid : -1;
}

// Cpus_allowed_list of every thread, joined by spaces.
std::string allowedCPUs(pid_t pid) {
    std::string all;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("Cpus_allowed_list:")) all += (all.empty() ? "" : " ") + line.substr(19);
        }
    }
    return all;
}

bool becomes(pid_t pid, const std::string& cpus, std::chrono::milliseconds within) {
    for (auto deadline = std::chrono::steady_clock::now() + within;
         allowedCPUs(pid) != cpus && std::chrono::steady_clock::now() < deadline;) {
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
        // The shell hands its own pid to the program it becomes, as a GLib
        // launcher does.
        app = startSleeper("export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec sleep 300",
                           "GIO_LAUNCHED_DESKTOP_FILE=" + entry);
        focus = startSleeper("exec sleep 300", "KORVANE_TEST_FOCUS=1");
        ASSERT_GT(app, 0);
        ASSERT_GT(focus, 0);
        ASSERT_TRUE(helper.waitUntilListening()) << helper.log();
        ASSERT_TRUE(becomes(app, "0-1", std::chrono::seconds(2)));  // the exec is done
    }
    void TearDown() override {
        ctl({"beast", "off"});
        for (pid_t pid : {app, focus}) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    std::string ctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {KORVANE_CTL_BINARY, "--socket", tree.path("helper.sock")});
        auto result = testing::runCommand(arguments);
        return result.out + result.err;
    }

    testing::TempTree tree;
    testing::HelperDaemon helper{KORVANE_HELPER_BINARY,
                                 {},
                                 tree.path("helper.sock"),
                                 tree.path("helper.log"),
                                 {{"KORVANE_SYSFS_ROOT", tree.path("sys")},
                                  {"KORVANE_TASKPOLICY", KORVANE_TASKPOLICY_BINARY},
                                  {"XDG_DATA_DIRS", tree.path("data")}}};
    pid_t app = -1, focus = -1;
};

TEST_F(JailAndBeastEndToEnd, JailConfinesTheApplicationAndBeastModeEverythingButTheFocus) {
    // The scan that follows a list update, well before the first 5-second tick.
    ASSERT_EQ(ctl({"jail", kAppID}), "OK\n");
    EXPECT_TRUE(becomes(app, "1", std::chrono::seconds(3))) << allowedCPUs(app) << "\n" << helper.log();
    EXPECT_EQ(allowedCPUs(focus), "0-1");

    // Emptying the list stops the jail without releasing; Beast Mode's
    // deactivation releases everything.
    ASSERT_EQ(ctl({"jail"}), "OK\n");
    EXPECT_EQ(ctl({"beast", "off"}), "OK\n");
    EXPECT_EQ(allowedCPUs(app), "0-1");

    EXPECT_EQ(ctl({"beast", "on", std::to_string(focus)}), "OK\n");
    EXPECT_EQ(allowedCPUs(app), "1");
    EXPECT_EQ(allowedCPUs(focus), "0-1");

    EXPECT_EQ(ctl({"beast", "off"}), "OK\n");
    EXPECT_EQ(allowedCPUs(app), "0-1");
}

}  // namespace
}  // namespace korvane
