// The real daemon binary killed under the client and started again.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>

#include "app/client/xpc_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"

namespace korvane::app {
namespace {

using testing::awaitOn;

TEST(HelperRestart, AfterTheDaemonIsKilledTheNextCallFailsAndTheOneAfterReconnects) {
    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    linux_platform::SocketHelperConnector socketConnector(socketPath);
    testing::CountingConnector connector(socketConnector);
    std::optional<testing::HelperDaemon> daemon;
    auto startDaemon = [&] {
        daemon.emplace(KORVANE_HELPER_BINARY, socketPath, folder.path("helper.log"));
        return daemon->waitUntilListening();
    };

    ASSERT_TRUE(startDaemon());
    XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    ASSERT_TRUE(xpc.helperActive.get());
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({"org.example.App"}); }));
    EXPECT_EQ(connector.made(), 1);

    EXPECT_EQ(daemon->stop(SIGKILL), 128 + SIGKILL);
    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({"org.example.App"}); }));
    EXPECT_FALSE(xpc.helperActive.get());
    ASSERT_TRUE(xpc.lastError.get().has_value());

    ASSERT_TRUE(startDaemon()) << daemon->log();
    int before = connector.made();
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({}); }));
    EXPECT_EQ(connector.made(), before + 1);
}

}  // namespace
}  // namespace korvane::app
