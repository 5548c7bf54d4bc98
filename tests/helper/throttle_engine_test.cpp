#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <future>
#include <thread>

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

TEST_F(ThrottleEngine, MultipleThrottleRepliesOnceFromTheMainLoopAndKeepsWhatSucceeded) {
    policy.failFor(2, 1, "gone");
    policy.failFor(4, TaskPolicyFailure{TaskPolicyFailureKind::NotLaunched, 0, "Permission denied"});
    Replies replies;
    tool->throttleMultipleProcesses({11, 2, 3, 4, 11}, replies.block());

    // A pid named twice is one process, changed once.
    EXPECT_THAT(policy.calls(), ElementsAre(applied(11), applied(2), applied(3), applied(4)));
    EXPECT_THAT(replies.received, IsEmpty()) << "the reply belongs to the main loop";
    loop.runPending();
    ASSERT_EQ(replies.received.size(), 1u);
    EXPECT_FALSE(replies.received[0].success);
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
    ASSERT_EQ(replies.received.size(), 1u);
    EXPECT_FALSE(replies.received[0].success);
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
    log.clear();
    loop.advanceBy(seconds(5));
    EXPECT_THAT(log.lines(), IsEmpty()) << "nothing dropped, nothing logged";
}

TEST_F(ThrottleEngine, InitAndTheHelperItselfAreRefusedWithoutRunningTheTool) {
    Replies replies;
    tool->throttleProcess(1, replies.block());
    tool->unthrottleProcess(::getpid(), replies.block());
    tool->throttleMultipleProcesses({1, 5}, replies.block());
    loop.runPending();
    EXPECT_THAT(policy.calls(), ElementsAre(applied(5)));
    ASSERT_EQ(replies.received.size(), 3u);
    for (const auto& reply : replies.received) EXPECT_FALSE(reply.success);
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
    ASSERT_EQ(many.received.size(), 1u);
    EXPECT_FALSE(many.received[0].success);
    EXPECT_EQ(tool->throttledPIDsSnapshot(), (std::set<std::int32_t>{101, 102, 103, 104, 900}));
}

}  // namespace
}  // namespace korvane
