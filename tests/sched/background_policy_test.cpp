// The background policy on real processes, and its memory of what threads
// had. CPU 1 of this machine is made the efficiency core, so every change is
// real and visible in /proc.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/proc/pid_generation.h"
#include "platform/linux/sched/background_policy.h"
#include "platform/linux/sched/in_process_task_policy.h"
#include "platform/linux/sched/remembered_states.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/memory_record.h"
#include "tests/fakes/started_program.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::linux_platform {
namespace {

using namespace korvane::testing;

const CpuTopology kCpu1IsEfficiency({0}, {1}, TopologySource::IntelHybridPmu);

void pinTo(pid_t tid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ASSERT_EQ(::sched_setaffinity(tid, sizeof set, &set), 0);
}

void makeFifo(pid_t tid) {
    sched_param fifo{.sched_priority = 10};
    ASSERT_EQ(::sched_setscheduler(tid, SCHED_FIFO, &fifo), 0);
}

// Every thread, the child in its cgroup and threads started later take the
// policy; release gives each thread back what it had: the user's own nice
// value and affinity, a real-time thread, an I/O level.
TEST(BackgroundPolicyTest, ReachesEveryThreadAndReleaseGivesEachBackWhatItHad) {
    TargetProcess target(3, 2);
    ASSERT_TRUE(target.ready());
    auto tids = threadsOf(target.pid());
    ASSERT_EQ(::setpriority(PRIO_PROCESS, static_cast<id_t>(tids[0]), 5), 0);
    pinTo(tids[0], 0);
    makeFifo(tids[1]);
    ASSERT_EQ(::syscall(SYS_ioprio_set, 1, tids[2], (2 << 13) | 2), 0);

    BackgroundPolicy policy(kCpu1IsEfficiency);
    RememberedStates memory;
    auto applied = policy.apply(target.pid(), &memory);
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->processes, 2);
    EXPECT_EQ(applied->threads, 5);
    ASSERT_TRUE(policy.apply(target.pid(), &memory));  // must not record the background state
    expectBackground(target.pid(), "1");
    expectBackground(target.child(), "1");
    EXPECT_EQ(viewOf(tids[0]).nice, 5);
    pid_t late = target.addThread();  // inherits the background state
    EXPECT_EQ(viewOf(late).cpus, "1");
    EXPECT_EQ(viewOf(late).policy, SCHED_IDLE);

    ASSERT_TRUE(policy.release(target.pid(), &memory));
    auto main = viewOf(tids[0]);
    EXPECT_EQ(main.cpus, "0");
    EXPECT_EQ(main.nice, 5);
    EXPECT_EQ(main.policy, SCHED_OTHER);
    EXPECT_EQ(viewOf(tids[1]).policy, SCHED_FIFO);
    EXPECT_EQ(viewOf(tids[1]).rtPriority, 10);
    EXPECT_EQ(viewOf(tids[2]).ioClass, 2);
    EXPECT_EQ(viewOf(tids[2]).ioLevel, 2);
    // Nothing of its own to return to: its process's main thread's state.
    EXPECT_EQ(viewOf(late).cpus, "0");
    EXPECT_EQ(viewOf(late).policy, SCHED_OTHER);
    expectNormal(target.child());
    EXPECT_EQ(memory.size(), 0u);
}

// A killed runner's record is taken over by its successor only for the
// process it named: one naming another start time is a stranger's. What the
// record gives back is CutShortEndToEnd's to check, through the real helper.
TEST(BackgroundPolicyTest, ARestartedRunnerTakesOverTheRecordOnlyForTheSameProcess) {
    TargetProcess target(1);
    ASSERT_TRUE(target.ready());
    CpuSysfs sysfs;
    sysfs.intelHybridPair();
    MemoryRecord record;
    ASSERT_TRUE(InProcessTaskPolicy(sysfs.root(), "/proc", &record).apply(target.pid()));
    ASSERT_TRUE(record.text);
    std::string original = *record.text;
    std::string stranger = original;
    stranger.replace(stranger.find(' ', 2) + 1, stranger.find('\n') - stranger.find(' ', 2) - 1, "1");
    record.text = stranger;
    EXPECT_EQ(InProcessTaskPolicy(sysfs.root(), "/proc", &record).restored().taken, 0u);
    record.text = original;
    EXPECT_EQ(InProcessTaskPolicy(sysfs.root(), "/proc", &record).restored().taken, 1u);
}

TEST(BackgroundPolicyTest, ReleaseWithoutMemoryLeavesAProcessThatNeverHadThePolicyAlone) {
    // Beast Mode releases the focus process on every activation, throttled
    // or not; its own affinity and real-time threads must survive that.
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    auto tids = threadsOf(target.pid());
    pinTo(tids[0], 1);
    makeFifo(tids[1]);
    ASSERT_TRUE(BackgroundPolicy(kCpu1IsEfficiency).release(target.pid()));
    EXPECT_EQ(viewOf(tids[0]).cpus, "1");
    EXPECT_EQ(viewOf(tids[1]).policy, SCHED_FIFO);
}

TEST(BackgroundPolicyTest, HomogeneousMachineKeepsAffinityButStillIdles) {
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    pinTo(target.pid(), 0);
    BackgroundPolicy policy(CpuTopology({0, 1}, {}, TopologySource::Homogeneous));
    ASSERT_TRUE(policy.apply(target.pid()));
    auto main = viewOf(target.pid());
    auto second = viewOf(threadsOf(target.pid())[1]);
    EXPECT_EQ(main.cpus, "0");
    EXPECT_EQ(second.cpus, machineCPUs());
    EXPECT_EQ(main.policy, SCHED_IDLE);
    EXPECT_EQ(second.ioClass, 3);
}

TEST(BackgroundPolicyTest, RefusesWhatIsNotAProcessOfOurs) {
    BackgroundPolicy policy(kCpu1IsEfficiency);
    auto reason = [](const Expected<PolicyReport, PolicyFailure>& result) {
        return result ? std::optional<PolicyFailureReason>() : result.error().reason;
    };
    TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    pid_t secondThread = threadsOf(target.pid())[1];
    EXPECT_EQ(reason(policy.apply(secondThread)), PolicyFailureReason::NoSuchProcess);
    EXPECT_EQ(viewOf(secondThread).policy, SCHED_OTHER);

    // Pid 2 is kthreadd unless we run in a pid namespace.
    if (readText("/proc/2/stat").find("(kthreadd)") == std::string::npos) GTEST_SKIP() << "no kthreadd at pid 2";
    std::string kthreaddCpus = viewOf(2).cpus;
    EXPECT_EQ(reason(policy.apply(2)), PolicyFailureReason::KernelThread);
    EXPECT_EQ(viewOf(2).cpus, kthreaddCpus);
    EXPECT_EQ(viewOf(2).policy, SCHED_OTHER);
}

TEST(BackgroundPolicyTest, ChildrenInAnotherCgroupAreAnotherApplication) {
    TargetProcess target(2, 2);
    ASSERT_TRUE(target.ready());
    // A /proc that shows the real processes in cgroups of our choosing; the
    // changes still go to the real threads.
    FixtureTree proc;
    for (pid_t pid : {target.pid(), target.child()}) {
        std::string dir = std::to_string(pid);
        proc.write(dir + "/stat", readText("/proc/" + dir + "/stat"));
        for (pid_t tid : threadsOf(pid)) {
            std::string task = dir + "/task/" + std::to_string(tid) + "/children";
            proc.write(task, readText("/proc/" + task));
        }
    }
    proc.write(std::to_string(target.pid()) + "/cgroup", "0::/user.slice/app-editor-12.scope\n");
    proc.write(std::to_string(target.child()) + "/cgroup", "0::/user.slice/app-terminal-shell-13.scope\n");
    BackgroundPolicy policy(kCpu1IsEfficiency, proc.root());

    // Descendants found from each thread's children, and from one reading
    // of the whole table as a batch shares it.
    for (bool shared : {false, true}) {
        proc.write(std::to_string(target.child()) + "/cgroup", "0::/user.slice/app-terminal-shell-13.scope\n");
        auto family = policy.family();
        FamilyReading reading{family, std::nullopt};
        const FamilyReading* batch = shared ? &reading : nullptr;
        EXPECT_EQ(policy.apply(target.pid(), nullptr, batch)->processes, 1);
        expectBackground(target.pid(), "1");
        expectNormal(target.child());

        proc.write(std::to_string(target.child()) + "/cgroup", "0::/user.slice/app-editor-12.scope\n");
        ASSERT_TRUE(policy.apply(target.pid(), nullptr, batch));
        expectBackground(target.child(), "1");
        ASSERT_TRUE(policy.release(target.pid(), nullptr, batch));
        expectNormal(target.child());
    }
}

// A process whose newest thread starts the next one every few hundred
// microseconds, up to `last` threads: a thread may be born from one the
// policy has not reached yet, and inherits nothing then. The pace leaves a
// batch under sanitizers and load room to catch up with the chain.
class ThreadChain {
public:
    static constexpr int kLast = 600;
    ThreadChain() {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            link(1);
            for (;;) ::pause();
        }
    }
    ~ThreadChain() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    // Once confined, the chain's threads run at idle priority: on a busy
    // machine (sanitizers, parallel tests) they may wait long for a CPU.
    bool waitForThreads(std::size_t count) const {
        return eventually([&] { return threadsOf(pid_).size() >= count; }, std::chrono::minutes(5));
    }

private:
    static void link(int number) {
        if (number >= kLast) return;
        std::thread([number] {
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
            while (std::chrono::steady_clock::now() < until) {
            }
            link(number + 1);
            for (;;) ::pause();
        }).detach();
    }
    pid_t pid_ = -1;
};

TEST(BackgroundPolicyTest, ThreadsBornDuringABatchAreConfined) {
    ThreadChain chain;
    TargetProcess others[3]{TargetProcess(1), TargetProcess(1), TargetProcess(1)};
    ASSERT_TRUE(chain.waitForThreads(20));
    CpuSysfs sysfs;
    sysfs.intelHybridPair();
    InProcessTaskPolicy policy(sysfs.root());
    auto results = policy.applyEach({chain.pid(), others[0].pid(), others[1].pid(), others[2].pid()});
    for (const auto& result : results) EXPECT_TRUE(result);
    ASSERT_TRUE(chain.waitForThreads(ThreadChain::kLast)) << "the chain stopped early";
    int unconfined = 0;
    for (pid_t tid : threadsOf(chain.pid())) unconfined += viewOf(tid).policy == SCHED_IDLE ? 0 : 1;
    EXPECT_EQ(unconfined, 0);
}

// A shell that starts a child of its own when told, long after it was first
// seen; ended, it leaves the child to another parent.
class LateParent {
public:
    LateParent() : shell_({"/bin/sh", "-c", "read x < \"$0\"; sleep 300 & echo $! > \"$0.child\"; wait",
                           fifo_}) {}
    ~LateParent() {
        if (child_ > 0) ::kill(child_, SIGKILL);
    }
    pid_t pid() const { return shell_.pid(); }
    pid_t startChild() {
        std::ofstream(fifo_) << "go\n";
        eventually([&] { return readText(fifo_ + ".child").ends_with('\n'); });
        child_ = std::stoi(readText(fifo_ + ".child"));
        std::string comm = "/proc/" + std::to_string(child_) + "/comm";
        eventually([&] { return readText(comm) == "sleep\n"; });
        return child_;
    }
    int end() { return shell_.stop(SIGTERM); }

private:
    FixtureTree dir_;
    std::string fifo_ = ::mkfifo(dir_.path("go").c_str(), 0600) == 0 ? dir_.path("go") : "";
    StartedProgram shell_;
    pid_t child_ = -1;
};

TEST(BackgroundPolicyTest, ABatchAfterAProcessWasBornReadsTheTableAgain) {
    LateParent parent;
    TargetProcess others[3]{TargetProcess(1), TargetProcess(1), TargetProcess(1)};
    CpuSysfs sysfs;
    sysfs.intelHybridPair();
    InProcessTaskPolicy policy(sysfs.root());
    const std::vector<std::int32_t> batch{parent.pid(), others[0].pid(), others[1].pid(), others[2].pid()};
    for (const auto& result : policy.applyEach(batch)) ASSERT_TRUE(result);
    for (const auto& result : policy.releaseEach(batch)) ASSERT_TRUE(result);

    pid_t child = parent.startChild();
    ASSERT_GT(child, 0);
    expectNormal(child);
    for (const auto& result : policy.applyEach(batch)) ASSERT_TRUE(result);
    expectBackground(child, "1");
    for (const auto& result : policy.releaseEach(batch)) ASSERT_TRUE(result);
    expectNormal(child);
}

// The family is kept between batches; a process whose parent ended has
// another parent since, and is no longer the ended one's child.
TEST(BackgroundPolicyTest, AKeptFamilyFollowsAnOrphanToItsNewParent) {
    LateParent parent;
    pid_t child = parent.startChild();
    BackgroundPolicy policy(kCpu1IsEfficiency);
    EXPECT_EQ(policy.family().childrenOf(parent.pid()), std::vector<std::int32_t>{child});

    pid_t ended = parent.pid();
    ASSERT_EQ(parent.end(), 128 + SIGTERM);
    auto family = policy.family();
    EXPECT_TRUE(family.childrenOf(ended).empty());
    EXPECT_TRUE(family.startTimeOf(child));
}

TEST(PidGenerationTest, MovesWithEveryBirthAndReadsTheLastField) {
    EXPECT_EQ(parseLastPid("0.52 0.58 0.59 2/977 31245\n"), 31245);
    EXPECT_EQ(parseLastPid("0.52 0.58 0.59 2/977\n"), std::nullopt);
    EXPECT_EQ(parseLastPid(""), std::nullopt);
    EXPECT_EQ(PidGeneration(FixtureTree().root()).now(), std::nullopt);

    PidGeneration generation;
    auto before = generation.now();
    ASSERT_TRUE(before);
    std::thread([] {}).join();
    EXPECT_NE(generation.now(), before);
}

// The memory of what threads had: pid reuse, held descriptors, growth.
RememberedProcess startedAt(std::uint64_t startTime, pid_t tid, std::int32_t nice) {
    RememberedProcess process{ProcessReference::startedAt(startTime), {}};
    process.threads[tid].attributes.nice = nice;
    return process;
}

TEST(RememberedStatesTest, NeverHandsAnEarlierProcessToANewOne) {
    RememberedStates memory;
    std::uint64_t runningSince = 7;
    StartTimeLookup now = [&](pid_t) { return std::optional(runningSince); };
    memory.remember(100, startedAt(7, 100, 5), now);
    EXPECT_EQ(memory.find(100, now)->threads.at(100).attributes.nice, 5);

    runningSince = 9;  // pid 100 now belongs to a process started later
    EXPECT_EQ(memory.find(100, now), nullptr);
    EXPECT_FALSE(memory.contains(100));
}

TEST(RememberedStatesTest, AHeldPidfdTellsWhenItsProcessHasEnded) {
    pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    RememberedStates memory;
    StartTimeLookup unused = [](pid_t) { return std::optional<std::uint64_t>(); };
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0U));
    memory.remember(child, RememberedProcess{ProcessReference::holding(pidfd, 0), {}}, unused);
    EXPECT_NE(memory.find(child, unused), nullptr);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(memory.find(child, unused), nullptr);
}

TEST(RememberedStatesTest, SweepsEndedProcessesOnceTheStoreHasGrown) {
    RememberedStates memory;
    StartTimeLookup evenPidsRun = [](pid_t pid) { return pid % 2 == 0 ? std::optional<std::uint64_t>(1) : std::nullopt; };
    for (pid_t pid = 1; pid < 64; ++pid) memory.remember(pid, startedAt(1, pid, 0), evenPidsRun);
    memory.sweepIfGrown(evenPidsRun);
    EXPECT_EQ(memory.size(), 63u);  // not grown enough yet
    memory.remember(64, startedAt(1, 64, 0), evenPidsRun);
    memory.sweepIfGrown(evenPidsRun);
    EXPECT_EQ(memory.size(), 32u);
}

}  // namespace
}  // namespace korvane::linux_platform
