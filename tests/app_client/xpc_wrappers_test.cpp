// The wrappers against an in-process daemon on a real socket.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/client/xpc_manager.h"
#include "app/runtime/string_table.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::awaitOn;
using Pids = std::set<std::int32_t>;

class XPCWrappersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(served.listening);
        ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
        ASSERT_TRUE(xpc.helperActive.get());
        logLines.clear();
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    testing::ServedFakeHelper served{socketPath};
    linux_platform::SocketHelperConnector connector{socketPath};
    XPCManager xpc{{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()}};
    testing::FakeHelper& daemon = served.helper;
};

TEST_F(XPCWrappersTest, OneFailingUnthrottleKeepsOnlyItsPidAndLogsNoRelease) {
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.throttleMultipleProcesses({13, 11, 12}); }));
    EXPECT_EQ(xpc.throttledPIDs.get(), (Pids{11, 12, 13}));

    daemon.fail("unthrottle 12", "taskpolicy failed for PID 12 with exit code 1: gone");
    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.unthrottleAllProcesses(); }));
    EXPECT_EQ(xpc.throttledPIDs.get(), (Pids{12}));
    EXPECT_EQ(xpc.lastError.get(), "taskpolicy failed for PID 12 with exit code 1: gone");
    EXPECT_EQ(logLines.countStartingWith("Korvane: 3 işlem normale"), 0);
    EXPECT_FALSE(xpc.isProcessing.get());

    daemon.clearFailures();
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.unthrottleAllProcesses(); }));
    EXPECT_THAT(xpc.throttledPIDs.get(), IsEmpty());
    EXPECT_EQ(xpc.lastError.get(), std::nullopt);  // cleared when the wrapper began
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 13 11 12 ]", "unthrottle 11", "unthrottle 12",
                                               "unthrottle 13", "unthrottle 12"));
}

TEST_F(XPCWrappersTest, AFailedThrottleMultipleRecordsNoneAndSaysSoWithoutAReason) {
    awaitOn(loop, [&] { return xpc.throttleProcess(7); });
    daemon.fail("throttleMultiple [ 1 2 ]", std::nullopt);  // a failure without a reason
    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.throttleMultipleProcesses({1, 2}); }));
    EXPECT_EQ(xpc.throttledPIDs.get(), (Pids{7}));
    EXPECT_EQ(xpc.lastError.get(), localized("error.unknown"));
}

// What the forwarders send is seen by the popover's, the jail's and the fan
// end-to-end tests; here that the fan's two leave lastError to the caller.
TEST_F(XPCWrappersTest, FanForwardersHandBackTheErrorAndOnlyXpcCallTouchesLastError) {
    xpc.lastError = std::string("earlier");
    daemon.fail("fanMode 0 manual", "Failed to set fan 0 mode: writeFailed");
    EXPECT_EQ(awaitOn<CallOutcome>(loop, [&] { return xpc.setFanControlMode(0, true); }),
              (CallOutcome{false, "Failed to set fan 0 mode: writeFailed"}));

    // With the daemon gone the connection's error comes back, still without touching lastError.
    served.stop();
    auto outcome = awaitOn<CallOutcome>(loop, [&] { return xpc.setFanTargetRPM(0, 1200); });
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(outcome.error.has_value() && !outcome.error->empty());
    EXPECT_FALSE(xpc.helperActive.get());
    EXPECT_EQ(xpc.lastError.get(), "earlier");

    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({}); }));
    EXPECT_NE(xpc.lastError.get(), "earlier");
}

TEST_F(XPCWrappersTest, ReleasesThatFailWhileTheHelperIsAwayAreRepeatedAndItCountsAsInstalledWhenItAnswersAgain) {
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.throttleMultipleProcesses({11, 12}); }));
    served.stop();
    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.unthrottleAllProcesses(); }));
    EXPECT_EQ(xpc.throttledPIDs.get(), (Pids{11, 12}));
    // A check while it is away finds none of its files where they would be installed.
    auto check = xpc.checkHelperStatus();
    ASSERT_TRUE(loop.runUntil([&] { return check.done(); }));
    ASSERT_FALSE(xpc.helperInstalled.get());

    int returns = 0;
    auto token = xpc.helperReturned().subscribe([&](const Done&) { ++returns; });
    served.restart();
    // The pings that look for the helper come after 1, 2, 4... seconds.
    loop.advanceBy(seconds(7));
    ASSERT_TRUE(loop.runUntil([&] { return returns == 1; }));
    EXPECT_TRUE(xpc.helperActive.get());
    EXPECT_TRUE(xpc.helperInstalled.get());
    EXPECT_THAT(xpc.throttledPIDs.get(), IsEmpty());
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 11 12 ]", "unthrottle 11", "unthrottle 12"));
}

}  // namespace
}  // namespace korvane::app
