// The helper's service on a real socket, with the real HelperTool behind it and
// a fake task policy.
#include "platform/linux/socket/helper_service.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "helper/helper_tool.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/socket/unix_socket.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"
#include "shared/protocol/wire_codec.h"
#include "tests/fakes/fake_task_policy.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::FakeTaskPolicy;

class HelperServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listen(socketPath)) << "cannot listen";
        service.start();
        loopThread = std::thread([this] { loop.run(); });
    }
    void TearDown() override {
        releaseHeldRun();
        service.stop();
        loop.quit();
        loopThread.join();
    }

    std::shared_ptr<HelperConnection> connect() {
        return std::make_shared<linux_platform::SocketHelperConnection>(socketPath, ConnectionHandlers{});
    }

    // The run for `pid` waits until releaseHeldRun(); the future is ready once it waits.
    std::future<void> holdRunOf(std::int32_t pid) {
        auto held = std::make_shared<std::promise<void>>();
        policy.beforeCall = [held, pid, released = released.get_future().share()](std::int32_t called) {
            if (called != pid) return;
            held->set_value();
            released.wait();
        };
        return held->get_future();
    }
    void releaseHeldRun() {
        if (!releasedOnce) released.set_value();
        releasedOnce = true;
    }

    static Expected<msg::Reply, ConnectionError> call(HelperConnection& connection, msg::Call c) {
        std::promise<Expected<msg::Reply, ConnectionError>> promise;
        auto future = promise.get_future();
        connection.send(std::move(c), [&](Expected<msg::Reply, ConnectionError> r) { promise.set_value(r); });
        if (future.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "no answer within 10 s";
            return unexpected(ConnectionError{"timeout"});
        }
        return future.get();
    }

    log::CapturedLines log;
    testing::FixtureTree dir;
    std::string socketPath = dir.path("helper.sock");
    StdMainLoop loop;
    FakeTaskPolicy policy;
    std::promise<void> released;
    bool releasedOnce = false;
    // Every pid the fake policy "throttles" counts as a living process.
    helper::HelperTool tool{{.mainLoop = loop,
                             .taskPolicy = policy,
                             .startTimeOf = [](std::int32_t) { return std::optional<std::uint64_t>(1); }}};
    linux_platform::HelperService service{tool, ::getuid()};
    std::thread loopThread;
};

// A call under way neither holds up another connection's ping nor stops
// when its own client leaves.
TEST_F(HelperServiceTest, AConnectionAtWorkHoldsUpNobodyAndFinishesWithoutItsClient) {
    auto held = holdRunOf(77);
    {
        auto leaving = connect();
        leaving->send(msg::ThrottleMultipleProcesses{{76, 77, 78}}, [](auto) {});
        held.wait();
        auto ping = call(*connect(), msg::Ping{});
        ASSERT_TRUE(ping);
        EXPECT_TRUE(ping->success);
        leaving->invalidate();
    }
    releaseHeldRun();
    for (int i = 0; i < 100 && tool.throttledPIDsSnapshot().size() < 3; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(tool.throttledPIDsSnapshot(), (std::set<std::int32_t>{76, 77, 78}));
}

// Raw frames: the replies to a burst of messages, counted byte for byte.
TEST_F(HelperServiceTest, EveryMessageGetsExactlyOneReply) {
    auto fd = linux_platform::connectUnix(socketPath);
    ASSERT_TRUE(fd);
    std::string burst;
    for (std::uint64_t id = 1; id <= 20; ++id) {
        msg::Call c = id % 4 == 0   ? msg::Call(msg::Ping{})
                      : id % 4 == 1 ? msg::Call(msg::ThrottleMultipleProcesses{{int(id)}})
                      : id % 4 == 2 ? msg::Call(msg::UnthrottleAllProcesses{})
                                    : msg::Call(msg::SetBeastMode{true, int(id)});
        burst += wire::encodeRequest(id, c);
    }
    ASSERT_TRUE(linux_platform::writeAll(fd->get(), burst));
    std::set<std::uint64_t> ids;
    for (int i = 0; i < 20; ++i) {
        auto frame = linux_platform::readFrame(fd->get());
        ASSERT_EQ(frame.status, linux_platform::ReadStatus::Frame);
        auto reply = wire::decodeReply(frame.payload);
        ASSERT_TRUE(reply);
        EXPECT_TRUE(ids.insert(reply->id).second) << "two replies for message " << reply->id;
    }
    EXPECT_EQ(ids.size(), 20u);
    pollfd p{fd->get(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "a 21st reply arrived";
}

TEST_F(HelperServiceTest, BadFramesCloseOnlyTheirOwnConnection) {
    auto bystander = connect();
    ASSERT_TRUE(call(*bystander, msg::ThrottleProcess{50}));
    policy.clear();

    auto sendRaw = [&](const std::string& bytes) {
        auto fd = linux_platform::connectUnix(socketPath);
        EXPECT_TRUE(fd);
        linux_platform::writeAll(fd->get(), bytes);
        auto frame = linux_platform::readFrame(fd->get());
        return frame.status;
    };
    std::string oversized("\x01\x00\x10\x00", 4);  // 1 MiB + 1
    std::string unknown = wire::encodeRequest(1, msg::Ping{});
    unknown.replace(unknown.find("ping"), 4, "pong");
    std::string garbage("\x05\x00\x00\x00hello", 9);
    std::string truncatedThenClosed = wire::encodeRequest(1, msg::ThrottleProcess{1}).substr(0, 9);
    for (const auto& bad : {oversized, unknown, garbage}) {
        EXPECT_EQ(sendRaw(bad), linux_platform::ReadStatus::Closed);
    }
    {
        auto fd = linux_platform::connectUnix(socketPath);
        linux_platform::writeAll(fd->get(), truncatedThenClosed);
    }
    // The truncated message is noticed when its client hangs up, a moment later.
    for (int i = 0; i < 200 && log.countStartingWith("KorvaneHelper: Closed connection from uid") < 4; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Closed connection from uid"), 4);
    EXPECT_TRUE(policy.calls().empty()) << "a bad message must change nothing";
    EXPECT_EQ(tool.throttledPIDsSnapshot(), (std::set<std::int32_t>{50}));
    auto stillServed = call(*bystander, msg::Ping{});
    ASSERT_TRUE(stillServed);
    EXPECT_TRUE(stillServed->success);
}

}  // namespace
}  // namespace korvane
