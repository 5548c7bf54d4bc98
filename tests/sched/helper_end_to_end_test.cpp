// The helper and korvanectl as built, with the real taskpolicy tool, on a
// real process: the road a focus request takes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/linux/process/spawn_process_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/sched/target_process.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane::linux_platform {
namespace {

class HelperEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.cpus("0-1", 1);
        files.write("devices/cpu_core/cpus", "0\n");
        files.write("devices/cpu_atom/cpus", "1\n");
        socket = files.root() + "/helper.sock";

        std::vector<std::string> environment;
        for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
        environment.push_back(std::string(paths::kSocketOverrideVariable) + "=" + socket);
        environment.push_back(std::string(paths::kSysfsRootVariable) + "=" + files.root());
        environment.push_back(std::string(paths::kTaskPolicyOverrideVariable) + "=" + KORVANE_TASKPOLICY_BINARY);
        std::vector<char*> envp;
        for (auto& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(KORVANE_HELPER_BINARY), nullptr};
        ASSERT_EQ(::posix_spawn(&helper, KORVANE_HELPER_BINARY, &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);

        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ctl({"ping"}).exitStatus != 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_EQ(ctl({"ping"}).output, "alive\n");
    }
    void TearDown() override {
        if (helper > 0) {
            ::kill(helper, SIGTERM);
            ::waitpid(helper, nullptr, 0);
        }
    }

    ProcessResult ctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--socket", socket});
        auto result = spawner.run(KORVANE_CTL_BINARY, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }

    testing::FakeSysfsTree files;
    std::string socket;
    pid_t helper = -1;
    SpawnProcessRunner spawner;
};

TEST_F(HelperEndToEndTest, ThrottleAndReleaseThroughKorvanectlChangeTheRealProcess) {
    testing::TargetProcess target(3, 2);
    ASSERT_TRUE(target.ready());
    std::string pid = std::to_string(target.pid());

    EXPECT_EQ(ctl({"throttle", pid}).output, "OK\n");
    testing::expectBackground(target.pid(), "1");
    testing::expectBackground(target.child(), "1");

    EXPECT_EQ(ctl({"unthrottle", pid}).output, "OK\n");
    testing::expectNormal(target.pid());
    testing::expectNormal(target.child());

    std::string ended = std::to_string(testing::endedPid());
    auto failed = ctl({"throttle", ended});
    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_EQ(failed.output,
              "taskpolicy failed for PID " + ended + " with exit code 3: taskpolicy: no process with PID " + ended + "\n");
}

}  // namespace
}  // namespace korvane::linux_platform
