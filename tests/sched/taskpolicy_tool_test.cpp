// The taskpolicy tool as a program, and the helper's in-process policy that
// must fail exactly as the program does.
#include <gtest/gtest.h>

#include "platform/linux/sched/in_process_task_policy.h"
#include "shared/process/process_runner.h"
#include "shared/paths/installed_paths.h"
#include "tests/fakes/started_program.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::linux_platform {
namespace {

using testing::TargetProcess;

class TaskPolicyToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        sysfs.intelHybridPair();  // read once, when the policy is made
        policy = std::make_unique<InProcessTaskPolicy>(sysfs.root());
    }

    // The tool as a program, over `root`, its two streams joined.
    static ProcessResult tool(const std::vector<std::string>& arguments, const std::string& root,
                              std::vector<std::string> before = {}) {
        before.push_back(KORVANE_TASKPOLICY_BINARY);
        before.insert(before.end(), arguments.begin(), arguments.end());
        auto result = testing::runCommand(before, {{paths::kSysfsRootVariable, root}});
        return {result.exitStatus, result.out + result.err};
    }
    ProcessResult tool(const std::vector<std::string>& arguments) { return tool(arguments, sysfs.root()); }
    // The in-process answer in the tool's terms.
    ProcessResult inProcess(bool background, pid_t pid) {
        auto result = background ? policy->apply(pid) : policy->release(pid);
        if (result) return {0, ""};
        return {result.error().exitStatus, result.error().detail + "\n"};
    }

    testing::CpuSysfs sysfs;
    std::unique_ptr<InProcessTaskPolicy> policy;
};

// The tool reaches every thread and the child; where it fails, the helper's
// in-process policy fails with the same status and words.
TEST_F(TaskPolicyToolTest, InProcessPolicyAnswersExactlyAsTheTool) {
    TargetProcess target(2, 1);
    ASSERT_TRUE(target.ready());
    std::string live = std::to_string(target.pid());
    pid_t endedPid = testing::endedPid();
    std::string ended = std::to_string(endedPid);
    // The kinds it read, as a person checking the machine sees them.
    EXPECT_TRUE(tool({"--topology"}).output.starts_with("performance: 0\nefficiency: 1\n"));
    auto missing = tool({"-b", "-p", ended});
    EXPECT_EQ(missing.exitStatus, 3);
    EXPECT_EQ(missing.output, "taskpolicy: no process with PID " + ended + "\n");
    const std::vector<std::string> usageErrors[] = {{"-b", "-p", "x1"}, {"-b", "-B", "-p", live}, {"-b"}, {"-p", live}};
    for (const auto& arguments : usageErrors) {
        EXPECT_EQ(tool(arguments).exitStatus, 64) << ::testing::PrintToString(arguments);
    }

    EXPECT_EQ(policy->apply(endedPid).error().kind, TaskPolicyFailureKind::NoSuchProcess);
    for (bool background : {true, false}) {
        const char* flag = background ? "-b" : "-B";
        for (pid_t pid : {endedPid, pid_t(0)}) {
            auto expected = tool({flag, "-p", std::to_string(pid)});
            if (pid == 0) expected = {3, "taskpolicy: no process with PID 0\n"};  // the tool refuses 0 as usage
            auto actual = inProcess(background, pid);
            EXPECT_EQ(actual.exitStatus, expected.exitStatus) << flag << " " << pid;
            EXPECT_EQ(actual.output, expected.output) << flag << " " << pid;
        }
        EXPECT_EQ(tool({flag, "-p", live}).exitStatus, 0);
        for (pid_t process : {target.pid(), target.child()}) {
            if (background) testing::expectBackground(process, "1");
            else testing::expectNormal(process);
        }
        ASSERT_TRUE(background ? policy->apply(target.pid()) : policy->release(target.pid()));
    }
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
