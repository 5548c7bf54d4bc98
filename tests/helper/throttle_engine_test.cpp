#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <future>
#include <thread>

#include "helper/reply_text.h"
#include "helper/spawning_task_policy.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/helper_tool_fixture.h"

namespace korvane {
namespace {

using testing::HelperToolFixture;
using testing::RecordedReply;
using testing::Replies;
using testing::applied;
using testing::released;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ThrottleEngine : public ::testing::Test, public HelperToolFixture {};

TEST_F(ThrottleEngine, SingleThrottleRunsTheToolAndRecordsThePidBeforeReplying) {
    bool inSetWhenReplied = false;
    tool->throttleProcess(42, [&](bool success, std::optional<std::string> message) {
        EXPECT_TRUE(success);
        EXPECT_FALSE(message);
        inSetWhenReplied = tool->throttledPIDsSnapshot().contains(42);
    });
    EXPECT_TRUE(inSetWhenReplied);
    EXPECT_THAT(policy.calls(), ElementsAre(applied(42)));

    Replies replies;
    tool->unthrottleProcess(42, replies.block());
    EXPECT_EQ(policy.calls().back(), released(42));
    EXPECT_TRUE(replies.received.at(0).success);
    EXPECT_THAT(tool->throttledPIDsSnapshot(), IsEmpty());

    // A pid never throttled (by us) is still handed to the tool.
    tool->unthrottleProcess(5, replies.block());
    EXPECT_EQ(policy.calls().back(), released(5));
    EXPECT_TRUE(replies.received.at(1).success);
}

// The tool run once per pid: its status says what kind of failure it was,
// and its output is trimmed (or dropped when it is not text).
TEST(SpawningTaskPolicy, ToolRunsBecomeTypedResults) {
    testing::FakeProcessRunner runner;
    helper::SpawningTaskPolicy tool(runner, "/opt/taskpolicy");
    runner.failFor("7", 3, "\n  first line\n\n  second line \t\n\n");
    runner.failFor("8", 77, "");
    runner.failFor("9", 2, std::string("\xFF\xFE garbage", 10));
    runner.failToLaunchFor("10", "No such file or directory");

    EXPECT_TRUE(tool.apply(6));
    EXPECT_TRUE(tool.release(6));
    ASSERT_EQ(runner.runs().size(), 2u);
    EXPECT_EQ(runner.runs()[0].path, "/opt/taskpolicy");
    EXPECT_THAT(runner.commandLines(), ElementsAre("-b -p 6", "-B -p 6"));

    using Kind = TaskPolicyFailureKind;
    const std::tuple<std::int32_t, Kind, const char*> failures[] = {
        {7, Kind::NoSuchProcess, "taskpolicy failed for PID 7 with exit code 3: first line\n\n  second line"},
        {8, Kind::PermissionDenied, "taskpolicy failed for PID 8 with exit code 77: "},
        {9, Kind::Other, "taskpolicy failed for PID 9 with exit code 2: "},
        {10, Kind::NotLaunched, "Failed to launch taskpolicy for PID 10: No such file or directory"},
    };
    for (auto [pid, kind, text] : failures) {
        auto failure = tool.apply(pid).error();
        EXPECT_EQ(failure.kind, kind) << pid;
        EXPECT_EQ(helper::taskPolicyFailureText(pid, failure), text);
    }
}

TEST_F(ThrottleEngine, MultipleThrottleRepliesOnceFromTheMainLoopWithFailuresInOrder) {
    policy.failFor(2, 1, "gone");
    policy.failFor(4, TaskPolicyFailure{TaskPolicyFailureKind::NotLaunched, 0, "Permission denied"});
    Replies replies;
    tool->throttleMultipleProcesses({11, 2, 3, 4, 11}, replies.block());

    // A pid named twice is one process, changed once.
    EXPECT_THAT(policy.calls(), ElementsAre(applied(11), applied(2), applied(3), applied(4)));
    EXPECT_THAT(replies.received, IsEmpty()) << "the reply belongs to the main loop";
    loop.runPending();
    EXPECT_THAT(replies.received, ElementsAre(RecordedReply{false,
                                                            "PID 2: taskpolicy failed for PID 2 with exit code 1: gone; "
                                                            "PID 4: Failed to launch taskpolicy for PID 4: Permission denied"}));
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{3, 11}));
}

TEST_F(ThrottleEngine, EmptyInputsRunNothingAndSucceed) {
    Replies multiple, all;
    tool->throttleMultipleProcesses({}, multiple.block());
    loop.runPending();
    tool->unthrottleAllProcesses(all.block());  // nothing throttled: answered at once
    EXPECT_THAT(policy.calls(), IsEmpty());
    EXPECT_THAT(multiple.received, ElementsAre(RecordedReply{true, std::nullopt}));
    EXPECT_THAT(all.received, ElementsAre(RecordedReply{true, std::nullopt}));
}

TEST_F(ThrottleEngine, UnthrottleAllKeepsThePidsThatFailed) {
    Replies ignored;
    tool->throttleMultipleProcesses({11, 12, 13}, ignored.block());
    loop.runPending();
    policy.clear();
    policy.failFor(12, 1, "no such process");

    Replies replies;
    tool->unthrottleAllProcesses(replies.block());
    loop.runPending();
    EXPECT_EQ(policy.calls().size(), 3u);
    EXPECT_THAT(replies.received,
                ElementsAre(RecordedReply{false, "PID 12: taskpolicy failed for PID 12 with exit code 1: no such process"}));
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{12}));
}

TEST_F(ThrottleEngine, DeadPidsLeaveTheSetOnTheNextTick) {
    Replies ignored;
    tool->throttleMultipleProcesses({20, 21, 22}, ignored.block());
    endedPIDs = {20, 22};
    loop.advanceBy(seconds(4.9));
    EXPECT_EQ(tool->throttledPIDsSnapshot().size(), 3u) << "the first tick comes after 5 s";
    loop.advanceBy(seconds(0.1));
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{21}));
    EXPECT_TRUE(log.contains("KorvaneHelper: cleanupDeadPIDs — 2 ölü PID temizlendi (kalan: 1)"));
    log.clear();
    loop.advanceBy(seconds(5));
    EXPECT_THAT(log.lines(), IsEmpty()) << "nothing dropped, nothing logged";
}

TEST_F(ThrottleEngine, InitAndTheHelperItselfAreRefusedWithoutRunningTheTool) {
    std::string self = std::to_string(::getpid());
    Replies replies;
    tool->throttleProcess(1, replies.block());
    tool->unthrottleProcess(::getpid(), replies.block());
    tool->throttleMultipleProcesses({1, 5}, replies.block());
    loop.runPending();
    EXPECT_THAT(policy.calls(), ElementsAre(applied(5)));
    const std::string init = "PID 1 is the init process; the helper never changes its scheduling";
    EXPECT_THAT(replies.received,
                ElementsAre(RecordedReply{false, init},
                            RecordedReply{false, "PID " + self + " is the helper itself; the helper never changes its scheduling"},
                            RecordedReply{false, "PID 1: " + init}));
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{5}));
}

// A pid whose process ended and was given to a stranger: the stranger is
// neither skipped as if throttled nor has its own policy taken away.
TEST_F(ThrottleEngine, AReusedPidIsAStrangerToTheSet) {
    Replies ignored;
    tool->throttleMultipleProcesses({30, 31}, ignored.block());
    loop.runPending();
    startTimes[30] = 7;  // pid 30 now names a later process
    policy.clear();

    Replies single, all;
    tool->unthrottleProcess(30, single.block());
    tool->throttleProcess(31, ignored.block());
    startTimes[31] = 8;
    tool->unthrottleAllProcesses(all.block());
    loop.runPending();
    EXPECT_THAT(policy.calls(), ElementsAre(applied(31))) << "no release reaches a stranger";
    EXPECT_THAT(single.received, ElementsAre(RecordedReply{true, std::nullopt}));
    EXPECT_THAT(all.received, ElementsAre(RecordedReply{true, std::nullopt}));
    EXPECT_THAT(tool->throttledPIDsSnapshot(), IsEmpty());
}

// What a killed helper had throttled is released by the next one; what
// ended or was replaced meanwhile is forgotten.
TEST_F(ThrottleEngine, TheThrottledSetOutlivesTheHelperThroughItsRecord) {
    Replies ignored;
    tool->throttleMultipleProcesses({40, 41, 42}, ignored.block());
    loop.runPending();
    ASSERT_TRUE(record.text);
    EXPECT_EQ(*record.text, "40 1\n41 1\n42 1\n");

    tool.reset();
    endedPIDs = {41};
    startTimes[42] = 9;
    tool = makeTool();
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{40}));
    EXPECT_TRUE(log.contains("KorvaneHelper: Took over 1 throttled processes from an earlier run (2 gone since)"));
    policy.clear();
    Replies all;
    tool->unthrottleAllProcesses(all.block());
    loop.runPending();
    EXPECT_THAT(policy.calls(), ElementsAre(released(40)));
    EXPECT_FALSE(record.text) << "nothing left on record";
}

// A long call goes to the policy batch by batch: each batch is on record
// before the policy changes anything, another call gets its turn after the
// batch under way, and a stop leaves the batches not begun undone.
TEST_F(ThrottleEngine, ALongCallIsRecordedAheadYieldsBetweenBatchesAndStopsBetweenThem) {
    policy.batch = 2;
    std::optional<std::string> recordedAtFirstChange;
    std::promise<void> firstBatchBegun;
    std::promise<void> secondCallWaiting;
    policy.beforeCall = [&](std::int32_t pid) {
        if (pid == 101) {
            recordedAtFirstChange = record.text;
            firstBatchBegun.set_value();
            secondCallWaiting.get_future().wait();
        }
        if (pid == 103) tool->stop();
    };
    Replies many, one;
    std::thread longCall([&] { tool->throttleMultipleProcesses({101, 102, 103, 104, 105, 106}, many.block()); });
    firstBatchBegun.get_future().wait();
    std::thread otherCall([&] { tool->throttleProcess(900, one.block()); });
    // Long enough for the other call to be waiting for its turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    secondCallWaiting.set_value();
    longCall.join();
    otherCall.join();
    loop.runPending();

    EXPECT_EQ(recordedAtFirstChange, "101 1\n102 1\n");
    EXPECT_THAT(policy.calls(), ElementsAre(applied(101), applied(102), applied(900), applied(103), applied(104)));
    EXPECT_THAT(many.received,
                ElementsAre(RecordedReply{false, "PID 105: the helper is stopping; PID 106: the helper is stopping"}));
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{101, 102, 103, 104, 900}));
}

TEST_F(ThrottleEngine, AFailureTextNeverOutgrowsAReply) {
    std::vector<std::int32_t> pids;
    for (std::int32_t pid = 1000; pid < 13000; ++pid) {
        pids.push_back(pid);
        policy.failFor(pid, 3, "no such process: " + std::to_string(pid));
    }
    Replies replies;
    tool->throttleMultipleProcesses(pids, replies.block());
    loop.runPending();
    ASSERT_EQ(replies.received.size(), 1u);
    const std::string& text = *replies.received[0].message;
    EXPECT_LE(text.size(), kMaxReplyTextBytes);
    EXPECT_TRUE(text.ends_with("…"));
    EXPECT_TRUE(text.starts_with("PID 1000: taskpolicy failed for PID 1000"));
}

}  // namespace
}  // namespace korvane
