#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "helper/process_info.h"
#include "tests/beast_jail/scan_world.h"
#include "tests/fakes/helper_tool_fixture.h"
#include "tests/fakes/started_program.h"

namespace korvane::helper {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class JailAndBeast : public ::testing::Test, public testing::ScanWorld, public testing::HelperToolFixture {
protected:
    JailAndBeast() : HelperToolFixture(&info) {}

    int callsOf(const testing::PolicyCall& call) {
        auto calls = policy.calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
    // Jails the IDs; the scan this starts runs on a thread of its own, so wait
    // for what it is expected to do.
    void jail(std::vector<std::string> ids, const std::function<bool()>& scanned) {
        tool->updateJailedBundleIDs(std::move(ids), [](bool, std::optional<std::string>) {});
        ASSERT_TRUE(eventually(scanned));
    }
    // Scans, those of the timer's ticks among them, run on the scan thread.
    static bool eventually(const std::function<bool()>& done) {
        return testing::eventually(done, std::chrono::seconds(10));
    }
    int scansFinished() const { return log.countStartingWith("KorvaneHelper: checkJailedProcesses — found"); }
};

// Throttled once while it stays in the set; Beast Mode switched off releases
// it with everything else, and the next tick jails it again.
TEST_F(JailAndBeast, AJailedProcessIsThrottledOnceWhileItStaysInTheSetAndAgainAfterBeastMode) {
    listing.set({{11, "mail"}, {12, "editor"}});
    identity.add(11, "/apps/mail.desktop", "org.example.Mail");
    identity.add(12, "/apps/editor.desktop", "org.example.Editor");
    policy.failFor(11, 1, "busy");
    jail({"org.example.Mail"}, [&] { return callsOf(testing::applied(11)) == 1; });
    EXPECT_TRUE(eventually([&] { return tool->throttledPIDsSnapshot().empty(); }));

    // A failed run is tried again on the next tick, 5 seconds on.
    policy.succeedFor(11);
    loop.advanceBy(seconds(5));
    EXPECT_TRUE(eventually([&] { return callsOf(testing::applied(11)) == 2; }));
    EXPECT_TRUE(eventually([&] { return tool->throttledPIDsSnapshot().contains(11); }));

    // Scans run one after another: once the second tick's has begun, the
    // first tick's is done.
    const int scans = scansFinished();
    for (int tick = 1; tick <= 2; ++tick) {
        loop.advanceBy(seconds(5));
        EXPECT_TRUE(eventually([&] { return scansFinished() >= scans + tick; }));
    }
    EXPECT_EQ(callsOf(testing::applied(11)), 2);
    EXPECT_EQ(callsOf(testing::applied(12)), 0);

    bool replied = false;
    tool->setBeastMode(false, 0, [&](bool ok, std::optional<std::string>) { replied = ok; });
    loop.runPending();
    EXPECT_TRUE(replied);
    EXPECT_EQ(callsOf(testing::released(11)), 1);
    EXPECT_THAT(tool->throttledPIDsSnapshot(), IsEmpty());
    loop.advanceBy(seconds(5));
    EXPECT_TRUE(eventually([&] { return callsOf(testing::applied(11)) == 3; }));
}

// No tick in between: the set still holds the pid, but for the process that
// ended, so the jailed newcomer is throttled all the same.
TEST_F(JailAndBeast, AJailedProcessOnAReusedPidIsThrottledBeforeAnyTick) {
    tool->throttleProcess(5, [](bool, std::optional<std::string>) {});
    startTimes[5] = 2;
    listing.set({{5, "mail"}});
    identity.add(5, "/apps/mail.desktop", "org.example.Mail");
    jail({"org.example.Mail"}, [&] { return callsOf(testing::applied(5)) == 2; });
}

TEST_F(JailAndBeast, UpdatesShareOneScanThreadAndTooLongAListIsRefused) {
    listing.set({{11, "mail"}});
    identity.add(11, "/apps/mail.desktop", "org.example.Mail");
    policy.beforeCall = [](std::int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    auto before = threads();
    for (int i = 0; i < 100; ++i) {
        tool->updateJailedBundleIDs({"org.example.Mail"}, [](bool, std::optional<std::string>) {});
        EXPECT_LE(threads(), before + 1);
    }
    tool.reset();  // waits for the scan thread
    EXPECT_LT(listing.taken, 100) << "updates that wait are folded into one scan";

    testing::HelperToolFixture fresh;
    std::vector<std::string> many(helper::kMaxJailedBundleIDs + 1, "org.example.App");
    testing::Replies replies;
    fresh.tool->updateJailedBundleIDs(many, replies.block());
    EXPECT_THAT(replies.received,
                ElementsAre(testing::RecordedReply{false, "Too many jailed applications: 1025 (at most 1024)"}));
    EXPECT_TRUE(fresh.tool->jailedBundleIDsSnapshot().empty());

    // The longest list there may be is logged in a few KiB, with the count of the rest.
    std::vector<std::string> longest;
    for (std::size_t i = 0; i < helper::kMaxJailedBundleIDs; ++i) longest.push_back("org.example.App" + std::to_string(i));
    fresh.tool->updateJailedBundleIDs(longest, replies.block());
    EXPECT_TRUE(replies.received.back().success);
    auto lines = fresh.log.lines();
    auto updated = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("KorvaneHelper: Jailed bundle IDs updated: [\"org.example.App0\"");
    });
    ASSERT_NE(updated, lines.end());
    EXPECT_LT(updated->size(), 5000u);
    EXPECT_TRUE(updated->ends_with(" more]")) << *updated;
}

TEST_F(JailAndBeast, TwoConcurrentScansNeverThrottleOnePidTwice) {
    std::vector<std::pair<std::int32_t, std::string>> mail;
    for (int pid = 100; pid < 120; ++pid) {
        mail.emplace_back(pid, "mail");
        identity.add(pid, "/apps/mail.desktop", "org.example.Mail");
    }
    listing.set(mail);
    // Each run takes a while, as the real tool's do, so that the two scans really overlap.
    policy.beforeCall = [](std::int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
    tool->updateJailedBundleIDs({"org.example.Mail"}, [](bool, std::optional<std::string>) {});
    std::thread second([&] { tool->checkJailedProcesses(); });
    tool->checkJailedProcesses();
    second.join();
    tool.reset();  // waits for the update's scan
    for (int pid = 100; pid < 120; ++pid) EXPECT_EQ(callsOf(testing::applied(pid)), 1) << pid;
}

TEST_F(JailAndBeast, BeastModeReleasesTheFocusThenThrottlesTheRestAndAlwaysReportsSuccess) {
    listing.set({{60, "other"}, {50, "focus"}, {51, "focus-worker"}, {53, "chat-started-by-focus"}});
    for (int pid : {50, 51}) identity.add(pid, "/apps/game.desktop", "game");
    identity.add(53, "/apps/chat.desktop", "chat");
    identity.add(60, "/apps/mail.desktop", "mail");
    parents = {{51, 50}, {53, 50}, {60, 1}};
    for (std::int32_t pid : {50, 53, 60}) policy.failFor(pid, 1, "gone");

    testing::Replies replies;
    tool->setBeastMode(true, 50, replies.block());
    EXPECT_THAT(replies.received, IsEmpty());  // sent from the main loop
    loop.runPending();
    EXPECT_THAT(replies.received, ElementsAre(testing::RecordedReply{true, std::nullopt}));
    EXPECT_THAT(policy.calls(),
                ElementsAre(testing::released(50), testing::applied(60), testing::applied(53)));
}

}  // namespace
}  // namespace korvane::helper
