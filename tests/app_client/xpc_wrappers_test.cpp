// The wrappers against an in-process daemon on a real socket.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/client/xpc_manager.h"
#include "app/runtime/string_table.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::awaitOn;

class XPCWrappersTest : public ::testing::Test {
protected:
    XPCWrappersTest()
        : socketPath(folder.path() + "/helper.sock"),
          served(socketPath),
          connector(socketPath),
          xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.path()}) {}

    void SetUp() override {
        ASSERT_TRUE(served.listening());
        ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
        ASSERT_TRUE(xpc.helperActive.get());
        logLines.clear();
    }

    std::set<std::int32_t> pids(std::initializer_list<std::int32_t> list) { return list; }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::TemporaryFolder folder;
    std::string socketPath;
    testing::ServedFakeHelper served;
    linux_platform::SocketHelperConnector connector;
    XPCManager xpc;
};

TEST_F(XPCWrappersTest, UnthrottleAllWithNothingThrottledSendsAndLogsNothing) {
    std::vector<bool> busy;
    auto token = xpc.isProcessing.observe([&](const bool& b) { busy.push_back(b); });
    awaitOn(loop, [&] { return xpc.unthrottleAllProcesses(); });
    EXPECT_THAT(served.helper.commands(), IsEmpty());
    EXPECT_THAT(logLines.lines(), IsEmpty());
    EXPECT_THAT(busy, ElementsAre(true, false));
}

TEST_F(XPCWrappersTest, OneFailingUnthrottleKeepsOnlyItsPidAndLogsNoRelease) {
    awaitOn(loop, [&] { return xpc.throttleMultipleProcesses({13, 11, 12}); });
    EXPECT_EQ(xpc.throttledPIDs.get(), pids({11, 12, 13}));
    EXPECT_TRUE(logLines.contains("Korvane: 3 işlem XPC üzerinden throttle edildi."));

    served.helper.failUnthrottle(12, "taskpolicy failed for PID 12 with exit code 1: no such process");
    awaitOn(loop, [&] { return xpc.unthrottleAllProcesses(); });
    EXPECT_EQ(xpc.throttledPIDs.get(), pids({12}));
    EXPECT_EQ(xpc.lastError.get(), "taskpolicy failed for PID 12 with exit code 1: no such process");
    EXPECT_EQ(logLines.countStartingWith("Korvane: 3 işlem normale"), 0);
    EXPECT_FALSE(xpc.isProcessing.get());

    served.helper.clearFailures();
    awaitOn(loop, [&] { return xpc.unthrottleAllProcesses(); });
    EXPECT_THAT(xpc.throttledPIDs.get(), IsEmpty());
    EXPECT_EQ(xpc.lastError.get(), std::nullopt);  // cleared when the wrapper began
    EXPECT_TRUE(logLines.contains("Korvane: 1 işlem normale döndürüldü."));
    EXPECT_THAT(served.helper.commands(),
                ElementsAre("throttleMultiple [ 13 11 12 ]", "unthrottle 11", "unthrottle 12", "unthrottle 13",
                            "unthrottle 12"));
}

TEST_F(XPCWrappersTest, AFailedThrottleMultipleRecordsNoneAndAnEmptyListIsStillSent) {
    awaitOn(loop, [&] { return xpc.throttleProcess(7); });
    served.helper.failThrottleMultiple(std::nullopt);  // a failure without a reason
    awaitOn(loop, [&] { return xpc.throttleMultipleProcesses({1, 2}); });
    EXPECT_EQ(xpc.throttledPIDs.get(), pids({7}));
    EXPECT_EQ(xpc.lastError.get(), localized("error.unknown"));
    EXPECT_EQ(logLines.countStartingWith("Korvane: 2 işlem"), 0);

    served.helper.clearFailures();
    awaitOn(loop, [&] { return xpc.throttleMultipleProcesses({}); });
    EXPECT_EQ(xpc.throttledPIDs.get(), pids({7}));
    EXPECT_TRUE(logLines.contains("Korvane: 0 işlem XPC üzerinden throttle edildi."));
    EXPECT_THAT(served.helper.commands(), ElementsAre("throttle 7", "throttleMultiple [ 1 2 ]", "throttleMultiple [ ]"));
}

TEST_F(XPCWrappersTest, BeastModeOnKeepsOurPidsAndOffEmptiesThem) {
    awaitOn(loop, [&] { return xpc.throttleProcess(5); });
    awaitOn(loop, [&] { return xpc.setBeastMode(true, 42); });
    EXPECT_TRUE(xpc.isFocusModeActive.get());
    EXPECT_EQ(xpc.throttledPIDs.get(), pids({5}));
    EXPECT_TRUE(logLines.contains("Korvane: Beast Mode aktifleştirildi (PID: 42)."));

    awaitOn(loop, [&] { return xpc.setBeastMode(false, 0); });
    EXPECT_FALSE(xpc.isFocusModeActive.get());
    EXPECT_THAT(xpc.throttledPIDs.get(), IsEmpty());
    EXPECT_TRUE(logLines.contains("Korvane: Beast Mode devre dışı bırakıldı."));
}

TEST_F(XPCWrappersTest, ForwardersHandBackTheAnswerAndLeaveBusyAndLastErrorAlone) {
    xpc.lastError = std::string("earlier");
    served.helper.failFanCommands("Failed to set fan 0 mode: writeFailed");
    std::vector<bool> busy;
    auto token = xpc.isProcessing.observe([&](const bool& b) { busy.push_back(b); });

    EXPECT_EQ(awaitOn<CallOutcome>(loop, [&] { return xpc.setFanControlMode(0, true); }),
              (CallOutcome{false, "Failed to set fan 0 mode: writeFailed"}));
    served.helper.clearFailures();
    EXPECT_EQ(awaitOn<CallOutcome>(loop, [&] { return xpc.setFanTargetRPM(0, 2400); }), (CallOutcome{true, {}}));
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({"org.gnome.Terminal", "firefox"}); }));

    EXPECT_EQ(xpc.lastError.get(), "earlier");
    EXPECT_THAT(busy, IsEmpty());
    EXPECT_THAT(served.helper.commands(),
                ElementsAre("fanMode 0 manual", "fanRPM 0 2400", "jail [ org.gnome.Terminal firefox ]"));
}

TEST_F(XPCWrappersTest, WithTheDaemonGoneXpcCallWithErrorReportsButNeverSetsLastError) {
    served.stop();
    xpc.lastError = std::string("earlier");
    // The first call may still find the old connection open; either way it fails.
    auto outcome = awaitOn<CallOutcome>(loop, [&] { return xpc.setFanTargetRPM(0, 1200); });
    EXPECT_FALSE(outcome.success);
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_FALSE(outcome.error->empty());
    EXPECT_FALSE(xpc.helperActive.get());
    EXPECT_EQ(xpc.lastError.get(), "earlier");

    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({}); }));
    EXPECT_NE(xpc.lastError.get(), "earlier");  // xpcCall does report it
}

}  // namespace
}  // namespace korvane::app
