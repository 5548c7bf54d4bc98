// The taskpolicy tool as a program, and the helper's in-process runner that
// must answer exactly as the program does.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/sched/in_process_task_policy_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/sched/target_process.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane::linux_platform {
namespace {

using testing::TargetProcess;
using testing::viewOf;

class RecordingRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, LaunchError> run(const std::string& path, const std::vector<std::string>& arguments,
                                             OutputCapture capture) override {
        calls.push_back(path + " " + arguments.at(0) + (capture == OutputCapture::StandardOutput ? " stdout" : ""));
        return ProcessResult{0, "recorded"};
    }
    std::vector<std::string> calls;
};

class TaskPolicyToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs.cpus("0-1", 1);
        sysfs.write("devices/cpu_core/cpus", "0\n");
        sysfs.write("devices/cpu_atom/cpus", "1\n");
        ::setenv(paths::kSysfsRootVariable, sysfs.root().c_str(), 1);
        runner = std::make_unique<InProcessTaskPolicyRunner>(others, std::string(paths::kTaskPolicyTool), sysfs.root());
    }
    void TearDown() override { ::unsetenv(paths::kSysfsRootVariable); }

    ProcessResult tool(const std::vector<std::string>& arguments) {
        auto result = spawner.run(KORVANE_TASKPOLICY_BINARY, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }
    ProcessResult inProcess(const std::vector<std::string>& arguments) {
        auto result = runner->run(std::string(paths::kTaskPolicyTool), arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }

    testing::FakeSysfsTree sysfs;
    SpawnProcessRunner spawner;
    RecordingRunner others;
    std::unique_ptr<InProcessTaskPolicyRunner> runner;
};

TEST_F(TaskPolicyToolTest, TopologySaysWhichCpusAreWhichKind) {
    auto hybrid = tool({"--topology"});
    EXPECT_EQ(hybrid.exitStatus, 0);
    EXPECT_EQ(hybrid.output,
              "performance: 0\nefficiency: 1\n"
              "detected from: Intel hybrid PMU lists (cpu_core, cpu_atom); background processes run on the "
              "efficiency CPUs\n");

    testing::FakeSysfsTree plain;
    plain.cpus("0-3", 3);
    ::setenv(paths::kSysfsRootVariable, plain.root().c_str(), 1);
    EXPECT_EQ(tool({"--topology"}).output,
              "performance: 0-3\nefficiency: none\n"
              "homogeneous: all 4 online CPUs are of one kind, so background processes keep their CPUs and only "
              "get the lowest priority\n");
}

TEST_F(TaskPolicyToolTest, InProcessRunnerAnswersExactlyAsTheTool) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    std::string live = std::to_string(target.pid());
    std::string ended = std::to_string(testing::endedPid());

    EXPECT_EQ(tool({"-b", "-p", ended}).exitStatus, 3);
    EXPECT_EQ(tool({"-b", "-p", ended}).output, "taskpolicy: no process with PID " + ended + "\n");
    EXPECT_EQ(tool({"-b", "-p", "x1"}).exitStatus, 64);

    const std::vector<std::vector<std::string>> invocations = {
        {"-b", "-p", ended}, {"-B", "-p", ended},  {"-b", "-p", "0"}, {"-b"},           {"-b", "-p", "x1"},
        {"-p", live},        {"-b", "-B", "-p", live}, {"--topology"}, {"-b", "-p", "2"}, {"-b", "-p", live},
        {"-B", "-p", live}};
    for (const auto& arguments : invocations) {
        auto expected = tool(arguments);
        auto actual = inProcess(arguments);
        std::string shown = arguments.front() + " " + (arguments.size() > 1 ? arguments.back() : "");
        EXPECT_EQ(actual.exitStatus, expected.exitStatus) << shown;
        EXPECT_EQ(actual.output, expected.output) << shown;
        if (arguments.front() != "--topology") {
            EXPECT_EQ(std::count(expected.output.begin(), expected.output.end(), '\n'), expected.output.empty() ? 0 : 1)
                << shown;
        }
    }
    EXPECT_TRUE(others.calls.empty());
}

TEST_F(TaskPolicyToolTest, InProcessRunnerRemembersAndPassesOtherProgramsOn) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    cpu_set_t cpu0;
    CPU_ZERO(&cpu0);
    CPU_SET(0, &cpu0);
    ASSERT_EQ(::sched_setaffinity(target.pid(), sizeof cpu0, &cpu0), 0);
    std::string pid = std::to_string(target.pid());

    EXPECT_EQ(inProcess({"-b", "-p", pid}).exitStatus, 0);
    EXPECT_EQ(viewOf(target.pid()).cpus, "1");
    EXPECT_EQ(inProcess({"-B", "-p", pid}).exitStatus, 0);
    EXPECT_EQ(viewOf(target.pid()).cpus, "0");  // the tool alone, remembering nothing, would give 0-1

    EXPECT_EQ(runner->run("/bin/ps", {"-eo"}, OutputCapture::StandardOutput)->output, "recorded");
    EXPECT_EQ(runner->run(KORVANE_TASKPOLICY_BINARY, {"-b"}, OutputCapture::Combined)->output, "recorded");
    EXPECT_EQ(others.calls, (std::vector<std::string>{"/bin/ps -eo stdout", std::string(KORVANE_TASKPOLICY_BINARY) + " -b"}));
}

TEST_F(TaskPolicyToolTest, AnotherUsersProcessIsPermissionDenied) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    std::string pid = std::to_string(target.pid());
    auto result = spawner.run("/usr/bin/setpriv",
                              {"--reuid=65534", "--regid=65534", "--clear-groups", KORVANE_TASKPOLICY_BINARY, "-b", "-p", pid},
                              OutputCapture::Combined);
    ASSERT_TRUE(result) << result.error().reason;
    EXPECT_EQ(result->exitStatus, 77);
    EXPECT_EQ(result->output, "taskpolicy: permission denied: cannot change the scheduling of PID " + pid + "\n");
    testing::expectNormal(target.pid());
}

}  // namespace
}  // namespace korvane::linux_platform
