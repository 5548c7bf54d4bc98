// Looking for a running helper: a real socket where the fake helper answers,
// where nothing listens, and where something accepts and never replies.
#include "app/client/helper_probe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/socket/unix_socket.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fixture_tree.h"
#include "testing/virtual_main_loop.h"

namespace korvane::app {
namespace {

class HelperProbeTest : public ::testing::Test {
protected:
    // Runs the loop until the probe has called back; the socket's threads
    // answer in real time, and the clock stands still.
    std::optional<bool> probe() {
        std::optional<bool> answered;
        probeHelper(connector, loop, seconds(3), [&](bool answers) { answered = answers; });
        loop.runUntil([&] { return answered.has_value(); });
        return answered;
    }

    VirtualMainLoop loop;
    testing::FixtureTree folder;
    std::string socketPath = folder.path("helper.sock");
    linux_platform::SocketHelperConnector connector{socketPath};
};

TEST_F(HelperProbeTest, AnAnsweringHelperIsFoundAndAnAbsentOneIsNot) {
    EXPECT_EQ(probe(), false);
    testing::ServedFakeHelper served(socketPath);
    ASSERT_TRUE(served.listening);
    EXPECT_EQ(probe(), true);
}

TEST_F(HelperProbeTest, AHelperThatNeverRepliesCountsAsNoneOnceTheLimitHasPassed) {
    auto listener = linux_platform::listenUnix(socketPath, ::getuid());
    ASSERT_TRUE(listener) << listener.error();
    std::optional<bool> answered;
    probeHelper(connector, loop, seconds(3), [&](bool answers) { answered = answers; });
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(answered.has_value()) << "gave up before the limit";
    loop.advanceBy(seconds(3));
    EXPECT_EQ(answered, false);
}

}  // namespace
}  // namespace korvane::app
