// The helper and korvanectl as built, with the real taskpolicy tool, on a
// real process: the road a focus request takes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>

#include <chrono>
#include <thread>

#include "platform/linux/process/spawn_process_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/sched/target_process.h"
#include "tests/topology/fake_sysfs_tree.h"

extern char** environ;

namespace korvane::linux_platform {
namespace {

class HelperEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.online("0-1");
        files.write("devices/cpu_core/cpus", "0\n");
        files.write("devices/cpu_atom/cpus", "1\n");
        // The helper inherits these; they name its socket, its sysfs and the
        // tool it starts instead of the installed path.
        ::setenv(paths::kSocketOverrideVariable, socket.c_str(), 1);
        ::setenv(paths::kSysfsRootVariable, files.root().c_str(), 1);
        ::setenv(paths::kTaskPolicyOverrideVariable, KORVANE_TASKPOLICY_BINARY, 1);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(KORVANE_HELPER_BINARY), nullptr};
        ASSERT_EQ(::posix_spawn(&helper, KORVANE_HELPER_BINARY, &quiet, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&quiet);

        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ctl({"ping"}).exitStatus != 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    void TearDown() override {
        for (auto variable : {paths::kSocketOverrideVariable, paths::kSysfsRootVariable,
                              paths::kTaskPolicyOverrideVariable}) {
            ::unsetenv(variable);
        }
        ::kill(helper, SIGTERM);
        ::waitpid(helper, nullptr, 0);
    }

    ProcessResult ctl(const std::vector<std::string>& arguments) {
        auto result = SpawnProcessRunner().run(KORVANE_CTL_BINARY, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }

    testing::FakeSysfsTree files;
    std::string socket = files.root() + "/helper.sock";
    pid_t helper = -1;
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
