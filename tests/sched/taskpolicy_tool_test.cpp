// The taskpolicy tool as a program, and the helper's in-process runner that
// must answer exactly as the program does.
#include <gtest/gtest.h>

#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/sched/in_process_task_policy_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/sched/target_process.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane::linux_platform {
namespace {

using testing::TargetProcess;

class RecordingRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, LaunchError> run(const std::string& path, const std::vector<std::string>&,
                                             OutputCapture) override {
        paths.push_back(path);
        return ProcessResult{0, "recorded"};
    }
    std::vector<std::string> paths;
};

class TaskPolicyToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs.online("0-1");
        sysfs.write("devices/cpu_core/cpus", "0\n");
        sysfs.write("devices/cpu_atom/cpus", "1\n");
        ::setenv(paths::kSysfsRootVariable, sysfs.root().c_str(), 1);  // for the spawned tool
        runner = std::make_unique<InProcessTaskPolicyRunner>(others, std::string(paths::kTaskPolicyTool), sysfs.root());
    }
    void TearDown() override { ::unsetenv(paths::kSysfsRootVariable); }

    ProcessResult run(ProcessRunner& by, const std::string& path, const std::vector<std::string>& arguments) {
        auto result = by.run(path, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }
    ProcessResult tool(const std::vector<std::string>& arguments) {
        return run(spawner, KORVANE_TASKPOLICY_BINARY, arguments);
    }
    ProcessResult inProcess(const std::vector<std::string>& arguments) {
        return run(*runner, std::string(paths::kTaskPolicyTool), arguments);
    }

    testing::FakeSysfsTree sysfs;
    SpawnProcessRunner spawner;
    RecordingRunner others;
    std::unique_ptr<InProcessTaskPolicyRunner> runner;
};

TEST_F(TaskPolicyToolTest, TopologySaysWhichCpusAreWhichKind) {
    EXPECT_EQ(tool({"--topology"}).output,
              "performance: 0\nefficiency: 1\n"
              "detected from: Intel hybrid PMU lists (cpu_core, cpu_atom); background processes run on the "
              "efficiency CPUs\n");
    testing::FakeSysfsTree plain;
    plain.online("0-3");
    ::setenv(paths::kSysfsRootVariable, plain.root().c_str(), 1);
    auto homogeneous = tool({"--topology"});
    EXPECT_EQ(homogeneous.exitStatus, 0);
    EXPECT_EQ(homogeneous.output,
              "performance: 0-3\nefficiency: none\n"
              "homogeneous: all 4 online CPUs are of one kind, so background processes keep their CPUs and only "
              "get the lowest priority\n");
}

TEST_F(TaskPolicyToolTest, InProcessRunnerAnswersExactlyAsTheTool) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    std::string live = std::to_string(target.pid());
    std::string ended = std::to_string(testing::endedPid());
    auto missing = tool({"-b", "-p", ended});
    EXPECT_EQ(missing.exitStatus, 3);
    EXPECT_EQ(missing.output, "taskpolicy: no process with PID " + ended + "\n");
    EXPECT_EQ(tool({"-b", "-p", "x1"}).exitStatus, 64);

    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"-b", "-p", ended}, {"-B", "-p", ended}, {"-b", "-p", "0"}, {"-b"}, {"-b", "-p", "x1"}, {"-p", live},
             {"-b", "-B", "-p", live}, {"--topology"}, {"-b", "-p", live}, {"-B", "-p", live}}) {
        auto expected = tool(arguments);
        auto actual = inProcess(arguments);
        EXPECT_EQ(actual.exitStatus, expected.exitStatus) << arguments.front() << " " << arguments.back();
        EXPECT_EQ(actual.output, expected.output) << arguments.front() << " " << arguments.back();
        auto lines = std::count(expected.output.begin(), expected.output.end(), '\n');
        EXPECT_TRUE(lines <= 1 || arguments.front() == "--topology") << expected.output;
    }
    EXPECT_TRUE(others.paths.empty());
}

TEST_F(TaskPolicyToolTest, InProcessRunnerRemembersAndPassesOtherProgramsOn) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    cpu_set_t cpu0;
    CPU_ZERO(&cpu0);
    CPU_SET(0, &cpu0);
    ::sched_setaffinity(target.pid(), sizeof cpu0, &cpu0);
    std::string pid = std::to_string(target.pid());

    EXPECT_EQ(inProcess({"-b", "-p", pid}).exitStatus, 0);
    EXPECT_EQ(testing::viewOf(target.pid()).cpus, "1");
    EXPECT_EQ(inProcess({"-B", "-p", pid}).exitStatus, 0);
    EXPECT_EQ(testing::viewOf(target.pid()).cpus, "0");  // the tool alone, remembering nothing, gives 0-1

    EXPECT_EQ(run(*runner, "/bin/ps", {"-eo"}).output, "recorded");
    EXPECT_EQ(run(*runner, KORVANE_TASKPOLICY_BINARY, {"-b"}).output, "recorded");
    EXPECT_EQ(others.paths, (std::vector<std::string>{"/bin/ps", KORVANE_TASKPOLICY_BINARY}));
}

TEST_F(TaskPolicyToolTest, AnotherUsersProcessIsPermissionDenied) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    std::string pid = std::to_string(target.pid());
    auto result = run(spawner, "/usr/bin/setpriv",
                      {"--reuid=65534", "--regid=65534", "--clear-groups", KORVANE_TASKPOLICY_BINARY, "-b", "-p", pid});
    EXPECT_EQ(result.exitStatus, 77);
    EXPECT_EQ(result.output, "taskpolicy: permission denied: cannot change the scheduling of PID " + pid + "\n");
    testing::expectNormal(target.pid());
}

}  // namespace
}  // namespace korvane::linux_platform
