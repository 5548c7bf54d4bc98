// The taskpolicy tool as a program, and the helper's in-process runner that
// must answer exactly as the program does.
#include <gtest/gtest.h>

#include "platform/linux/sched/in_process_task_policy_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/started_program.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::linux_platform {
namespace {

using testing::TargetProcess;

class TaskPolicyToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs.intelHybridPair();  // read once, when the runner is made
        runner = std::make_unique<InProcessTaskPolicyRunner>(others, std::string(paths::kTaskPolicyTool), sysfs.root());
    }

    // The tool as a program, over `root`, its two streams joined as the runner joins them.
    static ProcessResult tool(const std::vector<std::string>& arguments, const std::string& root,
                              std::vector<std::string> before = {}) {
        before.push_back(KORVANE_TASKPOLICY_BINARY);
        before.insert(before.end(), arguments.begin(), arguments.end());
        auto result = testing::runCommand(before, {{paths::kSysfsRootVariable, root}});
        return {result.exitStatus, result.out + result.err};
    }
    ProcessResult tool(const std::vector<std::string>& arguments) { return tool(arguments, sysfs.root()); }
    ProcessResult inProcess(const std::vector<std::string>& arguments,
                            const std::string& path = std::string(paths::kTaskPolicyTool)) {
        auto result = runner->run(path, arguments, OutputCapture::Combined);
        return result ? *result : ProcessResult{-1, result.error().reason};
    }

    testing::CpuSysfs sysfs;
    testing::FakeProcessRunner others;
    std::unique_ptr<InProcessTaskPolicyRunner> runner;
};

TEST_F(TaskPolicyToolTest, TopologySaysWhichCpusAreWhichKind) {
    EXPECT_EQ(tool({"--topology"}).output,
              "performance: 0\nefficiency: 1\n"
              "detected from: Intel hybrid PMU lists (cpu_core, cpu_atom); background processes run on the "
              "efficiency CPUs\n");
    testing::CpuSysfs plain;
    plain.online("0-3");
    auto homogeneous = tool({"--topology"}, plain.root());
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
    EXPECT_TRUE(others.runs().empty());
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

    // Another program, or another copy of the tool, is run by the runner behind it.
    others.failFor("-eo", 5, "passed on");
    auto passedOn = inProcess({"-eo"}, "/bin/ps");
    EXPECT_EQ(passedOn.exitStatus, 5);
    EXPECT_EQ(passedOn.output, "passed on");
    EXPECT_EQ(inProcess({"-b"}, KORVANE_TASKPOLICY_BINARY).exitStatus, 0);
    ASSERT_EQ(others.runs().size(), 2u);
    EXPECT_EQ(others.runs()[0].path, "/bin/ps");
    EXPECT_EQ(others.runs()[1].path, KORVANE_TASKPOLICY_BINARY);
}

TEST_F(TaskPolicyToolTest, AnotherUsersProcessIsPermissionDenied) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    std::string pid = std::to_string(target.pid());
    auto result =
        tool({"-b", "-p", pid}, sysfs.root(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_EQ(result.exitStatus, 77);
    EXPECT_EQ(result.output, "taskpolicy: permission denied: cannot change the scheduling of PID " + pid + "\n");
    testing::expectNormal(target.pid());
}

}  // namespace
}  // namespace korvane::linux_platform
