// Status check, ping, the wait for a new daemon and the probe for a running
// one, on virtual time, against a socket where nothing listens, where the
// in-process daemon comes up, or where something accepts and never replies.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/client/helper_probe.h"
#include "app/client/xpc_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/socket/unix_socket.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

using std::chrono::milliseconds;

class HelperHealthTest : public ::testing::Test {
protected:
    std::string socketPath() const { return folder.path("helper.sock"); }
    std::unique_ptr<XPCManager> makeManager() {
        auto xpc = std::make_unique<XPCManager>(
            XPCManager::Dependencies{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
        EXPECT_TRUE(loop.runUntil([&] { return xpc->initialStatusCheck().done(); }));
        return xpc;
    }
    // The wait for a new daemon, begun while an operation shows as busy.
    TaskHandle startWait(XPCManager& xpc) {
        logLines.clear();
        xpc.isProcessing = true;
        auto wait = xpc.waitForDaemonAndPing();
        loop.runPending();
        return wait;
    }
    int attemptsLogged() const { return logLines.countStartingWith("Korvane: Ping denemesi "); }
    // The next attempt comes exactly `pauseMs` after the previous one ended;
    // returns once it has failed (the wait sleeps again) or the wait is over.
    void expectAttemptAfter(const TaskHandle& wait, int attempt, long pauseMs) {
        loop.advanceBy(milliseconds(pauseMs - 1));
        EXPECT_EQ(attemptsLogged(), attempt - 1) << "attempt " << attempt << " came early";
        loop.advanceBy(milliseconds(1));
        EXPECT_EQ(attemptsLogged(), attempt);
        ASSERT_TRUE(loop.runUntil(
            [&] { return wait.done() || logLines.countStartingWith("Korvane: Ping hatası — ") >= attempt; }));
        loop.runPending();
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    linux_platform::SocketHelperConnector connector{socketPath()};
};

TEST_F(HelperHealthTest, StatusGoesByTheTwoInstalledFilesWhenTheDaemonIsSilent) {
    struct Case {
        bool executable, serviceFile, expectInstalled;
    };
    for (Case c : {Case{true, true, true}, Case{true, false, false}, Case{false, true, false}}) {
        SCOPED_TRACE(::testing::Message() << c.executable << c.serviceFile);
        std::filesystem::remove_all(folder.path("usr"));
        std::filesystem::remove_all(folder.path("etc"));
        if (c.executable) folder.write("usr/local/libexec/korvane/com.korvane.helper", "installed\n");
        if (c.serviceFile) folder.write("etc/systemd/system/com.korvane.helper.service", "installed\n");
        auto xpc = makeManager();
        EXPECT_EQ(xpc->helperInstalled.get(), c.expectInstalled);
        EXPECT_FALSE(xpc->helperActive.get());
        EXPECT_EQ(xpc->lastError.get(), std::nullopt);

        // A ping error lowers helperActive only; whether it is installed stays.
        xpc->helperActive = true;
        testing::awaitOn(loop, [&] { return xpc->pingHelper(); });
        EXPECT_FALSE(xpc->helperActive.get());
        EXPECT_EQ(xpc->helperInstalled.get(), c.expectInstalled);
    }
}

TEST_F(HelperHealthTest, AnAnsweringDaemonIsInstalledWhateverTheFilesSayAndClearsTheError) {
    testing::ServedFakeHelper served(socketPath());
    ASSERT_TRUE(served.listening);
    auto xpc = makeManager();
    EXPECT_TRUE(xpc->helperInstalled.get());
    EXPECT_TRUE(xpc->helperActive.get());

    // The answer is in helperActive by the time the awaiting caller runs on.
    xpc->helperActive = false;
    xpc->lastError = std::string("old");
    auto seenAfterPing = std::make_shared<std::optional<bool>>();
    auto task = spawn(loop, [&xpc, seenAfterPing]() -> Async<> {
        co_await xpc->pingHelper();
        *seenAfterPing = xpc->helperActive.get();
    });
    ASSERT_TRUE(loop.runUntil([&] { return task.done(); }));
    EXPECT_EQ(*seenAfterPing, true);

    auto check = xpc->checkHelperStatus();
    ASSERT_TRUE(loop.runUntil([&] { return check.done(); }));
    EXPECT_EQ(xpc->lastError.get(), std::nullopt);
}

// Attempts 1200, 1600, 2000, 2400 and 2800 ms apart: five silent ones end
// with the fixed error; a daemon first answering the third ends the wait there.
TEST_F(HelperHealthTest, TheWaitForANewDaemonPingsFiveTimesAtGrowingPauses) {
    auto xpc = makeManager();
    auto wait = startWait(*xpc);
    int attempt = 1;
    for (long pause : {1200, 1600, 2000, 2400, 2800}) expectAttemptAfter(wait, attempt++, pause);
    EXPECT_TRUE(wait.done());
    EXPECT_EQ(xpc->lastError.get(), XPCManager::kNotRespondingError);
    EXPECT_FALSE(xpc->isProcessing.get() || xpc->helperInstalled.get());

    wait = startWait(*xpc);
    expectAttemptAfter(wait, 1, 1200);
    expectAttemptAfter(wait, 2, 1600);
    testing::ServedFakeHelper served(socketPath());  // the daemon comes up
    ASSERT_TRUE(served.listening);
    expectAttemptAfter(wait, 3, 2000);
    EXPECT_TRUE(wait.done());
    EXPECT_EQ(attemptsLogged(), 3);
    EXPECT_FALSE(xpc->isProcessing.get());
    EXPECT_TRUE(xpc->helperActive.get());
}

// Neither a call nor the probe for a running helper may hang on a helper
// that accepts and never answers.
TEST_F(HelperHealthTest, AHelperThatAcceptsAndNeverAnswersFailsEachCallAndTheProbeAtItsLimit) {
    auto silent = linux_platform::listenUnix(socketPath(), ::getuid());
    ASSERT_TRUE(silent) << silent.error();
    XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    auto result = std::make_shared<std::optional<bool>>();
    auto call = spawn(loop, [&xpc, result]() -> Async<> {
        std::vector<std::string> ids{"a"};
        *result = co_await xpc.updateJailedBundleIDs(std::move(ids));
    });
    std::optional<bool> probed;
    probeHelper(connector, loop, seconds(3), [&](bool answers) { probed = answers; });
    loop.runUntil([] { return false; }, milliseconds(300));
    EXPECT_FALSE(probed.has_value()) << "the probe gave up before its limit";
    loop.advanceBy(seconds(3));
    EXPECT_EQ(probed, false);

    loop.advanceBy(milliseconds(6999));
    EXPECT_FALSE(call.done());
    EXPECT_FALSE(xpc.initialStatusCheck().done());
    loop.advanceBy(milliseconds(1));
    ASSERT_TRUE(loop.runUntil([&] { return call.done() && xpc.initialStatusCheck().done(); }));
    EXPECT_EQ(*result, false);
    EXPECT_EQ(xpc.lastError.get(), XPCManager::kNoAnswerError);
    EXPECT_FALSE(xpc.helperActive.get());
}

}  // namespace
}  // namespace korvane::app
