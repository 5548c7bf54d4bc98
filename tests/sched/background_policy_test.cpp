// The background policy on real processes. A fixture sysfs tree makes CPU 1
// of this machine the efficiency core, so every change is real and visible
// in /proc.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>

#include "platform/linux/sched/background_policy.h"
#include "tests/sched/target_process.h"
#include "tests/topology/fake_sysfs_tree.h"

namespace korvane::linux_platform {
namespace {

using testing::expectBackground;
using testing::expectNormal;
using testing::TargetProcess;
using testing::threadsOf;
using testing::viewOf;

CpuTopology cpu1IsEfficiency() { return CpuTopology({0}, {1}, TopologySource::IntelHybridPmu); }
CpuTopology homogeneous() { return CpuTopology({0, 1}, {}, TopologySource::Homogeneous); }

void pinTo(pid_t tid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ASSERT_EQ(::sched_setaffinity(tid, sizeof set, &set), 0);
}

TEST(BackgroundPolicyTest, ReachesEveryThreadTheChildInItsCgroupAndLaterThreads) {
    TargetProcess target(3, 2);
    ASSERT_TRUE(target.ready());
    pid_t child = target.child();
    ASSERT_GT(child, 0);
    BackgroundPolicy policy(cpu1IsEfficiency());

    auto applied = policy.apply(target.pid());
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->processes, 2);
    EXPECT_EQ(applied->threads, 5);
    expectBackground(target.pid(), "1");
    expectBackground(child, "1");

    auto late = viewOf(target.addThread());
    EXPECT_EQ(late.cpus, "1");
    EXPECT_EQ(late.policy, SCHED_IDLE);
    EXPECT_EQ(late.ioClass, 3);

    ASSERT_TRUE(policy.release(target.pid()));
    expectNormal(target.pid());
    expectNormal(child);
}

TEST(BackgroundPolicyTest, ReleaseGivesEachThreadBackWhatItHadBefore) {
    TargetProcess target(3);
    ASSERT_TRUE(target.ready());
    auto tids = threadsOf(target.pid());
    ASSERT_EQ(tids.size(), 3u);
    // The user's own choices: nice and affinity on the main thread, a
    // real-time thread, a best-effort I/O level.
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(tids[0]), 5), 0);
    pinTo(tids[0], 0);
    sched_param fifo{.sched_priority = 10};
    ASSERT_EQ(::sched_setscheduler(tids[1], SCHED_FIFO, &fifo), 0);
    ASSERT_EQ(::syscall(SYS_ioprio_set, 1, tids[2], (2 << 13) | 2), 0);

    BackgroundPolicy policy(cpu1IsEfficiency());
    RememberedStates memory;
    ASSERT_TRUE(policy.apply(target.pid(), &memory));
    ASSERT_TRUE(policy.apply(target.pid(), &memory));  // again: must not record the background state
    expectBackground(target.pid(), "1");
    EXPECT_EQ(viewOf(tids[0]).nice, 5);
    pid_t late = target.addThread();  // inherits the background state from the main thread

    ASSERT_TRUE(policy.release(target.pid(), &memory));
    auto main = viewOf(tids[0]);
    EXPECT_EQ(main.cpus, "0");
    EXPECT_EQ(main.nice, 5);
    EXPECT_EQ(main.policy, SCHED_OTHER);
    EXPECT_EQ(viewOf(tids[1]).policy, SCHED_FIFO);
    EXPECT_EQ(viewOf(tids[1]).rtPriority, 10);
    EXPECT_EQ(viewOf(tids[2]).ioClass, 2);
    EXPECT_EQ(viewOf(tids[2]).ioLevel, 2);
    // No state of its own: it gets what its process's main thread had.
    EXPECT_EQ(viewOf(late).cpus, "0");
    EXPECT_EQ(viewOf(late).policy, SCHED_OTHER);
    EXPECT_EQ(viewOf(late).nice, 5);
    EXPECT_EQ(memory.size(), 0u);
}

TEST(BackgroundPolicyTest, ReleaseWithoutMemoryLeavesAProcessThatNeverHadThePolicyAlone) {
    // Beast Mode releases the focus process on every activation, throttled
    // or not; its own affinity and real-time threads must survive that.
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    auto tids = threadsOf(target.pid());
    pinTo(tids[0], 1);
    sched_param fifo{.sched_priority = 10};
    ASSERT_EQ(::sched_setscheduler(tids[1], SCHED_FIFO, &fifo), 0);

    ASSERT_TRUE(BackgroundPolicy(cpu1IsEfficiency()).release(target.pid()));
    EXPECT_EQ(viewOf(tids[0]).cpus, "1");
    EXPECT_EQ(viewOf(tids[1]).policy, SCHED_FIFO);
}

TEST(BackgroundPolicyTest, HomogeneousMachineKeepsAffinityButStillIdles) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    pinTo(target.pid(), 0);
    BackgroundPolicy policy(homogeneous());
    ASSERT_TRUE(policy.apply(target.pid()));
    auto main = viewOf(target.pid());
    auto second = viewOf(threadsOf(target.pid())[1]);
    EXPECT_EQ(main.cpus, "0");
    EXPECT_EQ(second.cpus, "0-1");
    EXPECT_EQ(main.policy, SCHED_IDLE);
    EXPECT_EQ(second.policy, SCHED_IDLE);
    EXPECT_EQ(second.ioClass, 3);
    ASSERT_TRUE(policy.release(target.pid()));
    EXPECT_EQ(viewOf(target.pid()).cpus, "0");
    EXPECT_EQ(viewOf(target.pid()).policy, SCHED_OTHER);
}

TEST(BackgroundPolicyTest, RefusesWhatIsNotAProcessOfOurs) {
    BackgroundPolicy policy(cpu1IsEfficiency());
    auto reasonFor = [](const Expected<PolicyReport, PolicyFailure>& result) {
        return result ? std::optional<PolicyFailureReason>() : result.error().reason;
    };
    EXPECT_EQ(reasonFor(policy.apply(testing::endedPid())), PolicyFailureReason::NoSuchProcess);
    EXPECT_EQ(reasonFor(policy.release(testing::endedPid())), PolicyFailureReason::NoSuchProcess);
    EXPECT_EQ(reasonFor(policy.apply(0)), PolicyFailureReason::NoSuchProcess);

    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    pid_t secondThread = threadsOf(target.pid())[1];
    EXPECT_EQ(reasonFor(policy.apply(secondThread)), PolicyFailureReason::NoSuchProcess);
    EXPECT_EQ(viewOf(secondThread).policy, SCHED_OTHER);

    std::string kthreaddBefore = viewOf(2).cpus;
    EXPECT_EQ(reasonFor(policy.apply(2)), PolicyFailureReason::KernelThread);
    EXPECT_EQ(viewOf(2).cpus, kthreaddBefore);
    EXPECT_EQ(viewOf(2).policy, SCHED_OTHER);
}

// A /proc that shows the real target and its real child, but puts them in
// cgroups of our choosing; the changes still go to the real threads.
class MirroredProc {
public:
    explicit MirroredProc(TargetProcess& target) {
        for (pid_t pid : {target.pid(), target.child()}) {
            tree_.write(std::to_string(pid) + "/stat", testing::readText("/proc/" + std::to_string(pid) + "/stat"));
            for (pid_t tid : threadsOf(pid)) {
                std::string task = std::to_string(pid) + "/task/" + std::to_string(tid);
                tree_.write(task + "/children", testing::readText("/proc/" + task + "/children"));
            }
        }
    }
    void cgroup(pid_t pid, const std::string& path) { tree_.write(std::to_string(pid) + "/cgroup", "0::" + path + "\n"); }
    const std::string& root() const { return tree_.root(); }

private:
    testing::FakeSysfsTree tree_;
};

TEST(BackgroundPolicyTest, ChildrenInAnotherCgroupAreAnotherApplication) {
    TargetProcess target(2, 2);
    ASSERT_TRUE(target.ready());
    MirroredProc proc(target);
    proc.cgroup(target.pid(), "/user.slice/app-editor-12.scope");
    proc.cgroup(target.child(), "/user.slice/app-terminal-shell-13.scope");
    BackgroundPolicy policy(cpu1IsEfficiency(), proc.root());

    auto applied = policy.apply(target.pid());
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->processes, 1);
    expectBackground(target.pid(), "1");
    expectNormal(target.child());

    proc.cgroup(target.child(), "/user.slice/app-editor-12.scope");
    ASSERT_TRUE(policy.apply(target.pid()));
    expectBackground(target.child(), "1");
}

}  // namespace
}  // namespace korvane::linux_platform
