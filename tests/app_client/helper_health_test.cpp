// Status check, ping and the wait for a new daemon, on virtual time, against a
// socket where nothing listens or where the in-process daemon comes up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

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
using testing::awaitOn;

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
        waitStarted = loop.now();
        auto wait = xpc.waitForDaemonAndPing();
        loop.runPending();
        return wait;
    }
    long elapsedMs(TimePoint since) const {
        return std::chrono::duration_cast<milliseconds>(loop.now() - since).count();
    }
    // Runs until the wait task is asleep again (its last ping failed) or finished.
    void settle(const TaskHandle& wait) {
        ASSERT_TRUE(loop.runUntil(
            [&] { return wait.done() || logLines.countStartingWith("Korvane: Ping hatası — ") >= attemptsLogged(); }));
        loop.runPending();
    }
    int attemptsLogged() const { return logLines.countStartingWith("Korvane: Ping denemesi "); }
    // The next attempt comes exactly `pauseMs` after the previous one ended.
    void expectAttemptAfter(const TaskHandle& wait, int attempt, long pauseMs) {
        loop.advanceBy(milliseconds(pauseMs - 1));
        EXPECT_EQ(attemptsLogged(), attempt - 1) << "attempt " << attempt << " came early";
        loop.advanceBy(milliseconds(1));
        EXPECT_TRUE(logLines.contains("Korvane: Ping denemesi " + std::to_string(attempt) + "/5..."));
        settle(wait);
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    TimePoint waitStarted;
    linux_platform::SocketHelperConnector connector{socketPath()};
};

TEST_F(HelperHealthTest, StatusGoesByTheTwoInstalledFilesWhenTheDaemonIsSilent) {
    struct Case {
        bool executable, serviceFile, expectInstalled;
        const char* line;
    };
    for (Case c : {Case{true, true, true, "Korvane: Daemon dosyaları var ama çalışmıyor."},
                   Case{true, false, false, "Korvane: Daemon kurulu değil."},
                   Case{false, true, false, "Korvane: Daemon kurulu değil."},
                   Case{false, false, false, "Korvane: Daemon kurulu değil."}}) {
        std::filesystem::remove_all(folder.path("usr"));
        std::filesystem::remove_all(folder.path("etc"));
        if (c.executable) folder.write("usr/local/libexec/korvane/com.korvane.helper", "installed\n");
        if (c.serviceFile) folder.write("etc/systemd/system/com.korvane.helper.service", "installed\n");
        logLines.clear();
        auto xpc = makeManager();
        SCOPED_TRACE(c.line);
        EXPECT_EQ(xpc->helperInstalled.get(), c.expectInstalled);
        EXPECT_FALSE(xpc->helperActive.get());
        EXPECT_EQ(xpc->lastError.get(), std::nullopt);
        EXPECT_TRUE(logLines.contains(c.line));
        EXPECT_EQ(logLines.countStartingWith("Korvane: Ping hatası — "), 1);

        // A ping error lowers helperActive only; whether it is installed stays.
        xpc->helperActive = true;
        awaitOn(loop, [&] { return xpc->pingHelper(); });
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
    EXPECT_TRUE(logLines.contains("Korvane: Daemon aktif (ping başarılı)."));

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
    EXPECT_EQ(elapsedMs(waitStarted), 10000);
    EXPECT_EQ(xpc->lastError.get(), "Daemon installed but not responding. Try Remove & Reinstall.");
    EXPECT_TRUE(logLines.contains("Korvane: Daemon 5 ping denemesinde yanıt vermedi."));
    EXPECT_FALSE(xpc->isProcessing.get() || xpc->helperInstalled.get());

    wait = startWait(*xpc);
    expectAttemptAfter(wait, 1, 1200);
    expectAttemptAfter(wait, 2, 1600);
    testing::ServedFakeHelper served(socketPath());  // the daemon comes up
    ASSERT_TRUE(served.listening);
    expectAttemptAfter(wait, 3, 2000);
    EXPECT_TRUE(wait.done());
    EXPECT_EQ(elapsedMs(waitStarted), 4800);
    EXPECT_TRUE(logLines.contains("Korvane: Daemon bağlantısı başarılı (deneme 3)."));
    EXPECT_EQ(attemptsLogged(), 3);
    EXPECT_FALSE(xpc->isProcessing.get());
    EXPECT_TRUE(xpc->helperActive.get());
}

TEST_F(HelperHealthTest, AHelperThatAcceptsAndNeverAnswersFailsEachCallAfterTenSeconds) {
    auto silent = linux_platform::listenUnix(socketPath(), ::getuid());  // never accepts, never answers
    ASSERT_TRUE(silent) << silent.error();
    XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    auto result = std::make_shared<std::optional<bool>>();
    auto call = spawn(loop, [&xpc, result]() -> Async<> {
        std::vector<std::string> ids{"a"};
        *result = co_await xpc.updateJailedBundleIDs(std::move(ids));
    });
    loop.runPending();
    loop.advanceBy(milliseconds(9999));
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
