// What the helper tells its clients and writes to its log, each situation
// once. The behaviour tests check outcomes, not these texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "helper/reply_text.h"
#include "helper/spawning_task_policy.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/helper_tool_fixture.h"

namespace korvane {
namespace {

using testing::HelperToolFixture;
using testing::Replies;

// The tool run once per pid: its status says what kind of failure it was,
// and its output is trimmed (or dropped when it is not text).
TEST(HelperTexts, ToolRunsBecomeTypedFailuresAndTheirTexts) {
    testing::FakeProcessRunner runner;
    helper::SpawningTaskPolicy tool(runner, "/opt/taskpolicy");
    runner.failFor("7", 3, "\n  first line\n\n  second line \t\n\n");
    runner.failFor("8", 77, "");
    runner.failFor("9", 2, std::string("\xFF\xFE garbage", 10));
    runner.failToLaunchFor("10", "No such file or directory");

    EXPECT_TRUE(tool.apply(6));
    EXPECT_TRUE(tool.release(6));
    EXPECT_EQ(runner.commandLines(), (std::vector<std::string>{"/opt/taskpolicy -b -p 6", "/opt/taskpolicy -B -p 6"}));

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

TEST(HelperTexts, EachSituationItsReplyAndItsLogLine) {
    using Act = std::function<void(HelperToolFixture&, Replies&)>;
    struct Case {
        const char* situation;
        Act act;
        std::optional<std::string> reply;  // the last reply's message
        std::string line;                  // a line of the log
    };
    const std::string self = std::to_string(::getpid());
    const std::string init = "PID 1 is the init process; the helper never changes its scheduling";
    const std::string itself = "PID " + self + " is the helper itself; the helper never changes its scheduling";
    const std::string gone = "taskpolicy failed for PID 2 with exit code 1: gone";
    const Case cases[] = {
        {"throttled", [](auto& f, auto& r) { f.tool->throttleProcess(42, r.block()); }, std::nullopt,
         "KorvaneHelper: PID 42 successfully throttled"},
        {"released", [](auto& f, auto& r) { f.tool->unthrottleProcess(42, r.block()); }, std::nullopt,
         "KorvaneHelper: PID 42 successfully unthrottled"},
        {"init", [](auto& f, auto& r) { f.tool->throttleProcess(1, r.block()); }, init, "KorvaneHelper: " + init},
        {"itself", [](auto& f, auto& r) { f.tool->unthrottleProcess(::getpid(), r.block()); }, itself,
         "KorvaneHelper: " + itself},
        {"failures of a batch, in order",
         [](auto& f, auto& r) {
             f.policy.failFor(2, 1, "gone");
             f.policy.failFor(4, TaskPolicyFailure{TaskPolicyFailureKind::NotLaunched, 0, "Permission denied"});
             f.tool->throttleMultipleProcesses({2, 3, 4}, r.block());
         },
         "PID 2: " + gone + "; PID 4: Failed to launch taskpolicy for PID 4: Permission denied",
         "KorvaneHelper: " + gone},
        {"a stop before the batch",
         [](auto& f, auto& r) {
             f.tool->stop();
             f.tool->throttleMultipleProcesses({105, 106}, r.block());
         },
         "PID 105: the helper is stopping; PID 106: the helper is stopping",
         "KorvaneHelper: Left 2 of 2 PIDs undone — the helper is stopping"},
        {"ended processes dropped",
         [](auto& f, auto& r) {
             f.tool->throttleMultipleProcesses({20, 21, 22}, r.block());
             f.endedPIDs = {20, 22};
             f.loop.advanceBy(seconds(5));
         },
         std::nullopt, "KorvaneHelper: cleanupDeadPIDs — 2 ölü PID temizlendi (kalan: 1)"},
        {"an earlier run's record taken over",
         [](auto& f, auto& r) {
             f.tool->throttleMultipleProcesses({40, 41, 42}, r.block());
             f.loop.runPending();
             f.tool.reset();
             f.endedPIDs = {41};
             f.startTimes[42] = 9;
             f.tool = f.makeTool();
         },
         std::nullopt, "KorvaneHelper: Took over 1 throttled processes from an earlier run (2 gone since)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        HelperToolFixture fixture;
        Replies replies;
        c.act(fixture, replies);
        fixture.loop.runPending();
        ASSERT_FALSE(replies.received.empty());
        EXPECT_EQ(replies.received.back().message, c.reply);
        EXPECT_TRUE(fixture.log.contains(c.line)) << ::testing::PrintToString(fixture.log.lines());
    }
}

// However many pids fail, the text stays within what one reply may carry.
TEST(HelperTexts, AFailureTextNeverOutgrowsAReply) {
    HelperToolFixture fixture;
    std::vector<std::int32_t> pids;
    for (std::int32_t pid = 1000; pid < 13000; ++pid) {
        pids.push_back(pid);
        fixture.policy.failFor(pid, 3, "no such process: " + std::to_string(pid));
    }
    Replies replies;
    fixture.tool->throttleMultipleProcesses(pids, replies.block());
    fixture.loop.runPending();
    ASSERT_EQ(replies.received.size(), 1u);
    const std::string& text = *replies.received[0].message;
    EXPECT_LE(text.size(), kMaxReplyTextBytes);
    EXPECT_TRUE(text.ends_with("…"));
    EXPECT_TRUE(text.starts_with("PID 1000: taskpolicy failed for PID 1000"));
}

}  // namespace
}  // namespace korvane
