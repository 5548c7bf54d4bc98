// The helper's service on a real socket, with the real HelperTool behind it
// and a fake task policy: clients that misbehave or pile up, under small limits.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/linux/socket/helper_service.h"
#include "helper/helper_tool.h"
#include "platform/linux/socket/unix_socket.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"
#include "shared/protocol/wire_codec.h"
#include "tests/fakes/fake_task_policy.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using linux_platform::Fd;
using Clock = std::chrono::steady_clock;

class HelperServiceTest : public ::testing::Test {
protected:
    void serve(linux_platform::ServiceLimits limits) {
        service.emplace(tool, ::getuid(), std::move(limits));
        ASSERT_TRUE(service->listen(socketPath));
        service->start();
        loopThread = std::thread([this] { loop.run(); });
    }
    void TearDown() override {
        if (service) service->stop();
        loop.quit();
        if (loopThread.joinable()) loopThread.join();
    }
    Fd connect() {
        auto fd = linux_platform::connectUnix(socketPath);
        EXPECT_TRUE(fd);
        return fd ? std::move(*fd) : Fd();
    }
    // Whether the helper hung up on `fd` within `wait`, reading past any replies.
    static bool hungUp(int fd, std::chrono::milliseconds wait) {
        auto deadline = Clock::now() + wait;
        char buffer[4096];
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) return true;
        }
    }
    // Whether `call` on `fd` is answered within `wait`.
    static bool answered(const Fd& fd, msg::Call call, std::chrono::milliseconds wait = 1000ms) {
        if (!linux_platform::writeAll(fd.get(), wire::encodeRequest(1, call))) return false;
        pollfd p{fd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) != 1) return false;
        return linux_platform::readFrame(fd.get()).status == linux_platform::ReadStatus::Frame;
    }
    // One message (a ping unless told) on a new connection, answered within `wait`.
    bool pingAnswered(std::chrono::milliseconds wait = 1000ms, msg::Call call = msg::Ping{}) {
        return answered(connect(), std::move(call), wait);
    }
    static std::size_t residentKiB() {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmRSS:")) return std::stoul(line.substr(6));
        }
        return 0;
    }

    log::CapturedLines log;
    testing::FixtureTree dir;
    std::string socketPath = dir.path("helper.sock");
    StdMainLoop loop;
    testing::FakeTaskPolicy policy;
    helper::HelperTool tool{{.mainLoop = loop,
                             .taskPolicy = policy,
                             .startTimeOf = [](std::int32_t) { return std::optional<std::uint64_t>(1); }}};
    std::optional<linux_platform::HelperService> service;
    std::thread loopThread;
};

// A client that keeps asking and never reads: its replies (those written by
// the main loop among them) pile up to the bound, then it is dropped, while
// everyone else is served throughout.
TEST_F(HelperServiceTest, AClientThatNeverReadsIsDroppedAndHoldsUpNobody) {
    serve({.queuedReplyBytes = 64 * 1024});
    Fd greedy = connect();
    int small = 4096;
    ::setsockopt(greedy.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string burst;
    for (std::uint64_t id = 1; id <= 2000; ++id) {
        burst += wire::encodeRequest(id, id % 2 ? msg::Call(msg::Ping{}) : msg::Call(msg::ThrottleMultipleProcesses{{7}}));
    }
    std::thread sender([&] {
        for (int round = 0; round < 20; ++round) {
            if (!linux_platform::writeAll(greedy.get(), burst)) return;  // dropped
        }
    });
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(pingAnswered()) << "round " << i;
        // Its reply is written by the main loop, which the greedy client must not hold.
        EXPECT_TRUE(pingAnswered(1000ms, msg::ThrottleMultipleProcesses{{8}})) << "round " << i;
    }
    // Seen without reading a byte: the helper shut the connection down.
    pollfd end{greedy.get(), POLLRDHUP, 0};
    EXPECT_EQ(::poll(&end, 1, 5000), 1);
    sender.join();
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Dropped connection from uid"), 1);
    EXPECT_TRUE(pingAnswered());
}

TEST_F(HelperServiceTest, AMessageLeftUnfinishedTimesOut) {
    serve({.partialMessageTimeout = 200ms});
    Fd idle = connect();
    std::string ping = wire::encodeRequest(1, msg::Ping{});
    ASSERT_TRUE(linux_platform::writeAll(idle.get(), ping.substr(0, 6)));
    Fd quiet = connect();  // nothing begun: no time limit
    EXPECT_TRUE(hungUp(idle.get(), 3000ms));
    EXPECT_FALSE(hungUp(quiet.get(), 300ms));
}

// Announcing a megabyte costs nothing until the bytes come.
TEST_F(HelperServiceTest, AnAnnouncedLengthReservesNoMemory) {
    serve({.connectionsPerUser = 300, .connections = 300});
    std::size_t before = residentKiB();
    std::vector<Fd> clients;
    const std::string announce("\x00\x00\x10\x00x", 5);  // 1 MiB announced, one byte sent
    for (int i = 0; i < 200; ++i) {
        clients.push_back(connect());
        ASSERT_TRUE(linux_platform::writeAll(clients.back().get(), announce));
    }
    ASSERT_TRUE(pingAnswered(5000ms));  // every earlier client has been read by now
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(residentKiB() - before, 64u * 1024) << "200 announced MiB must not be resident";
}

TEST_F(HelperServiceTest, ConnectionsOverTheCapsAreRefusedWithOneLine) {
    serve({.connectionsPerUser = 3, .connections = 10});
    std::vector<Fd> open;
    for (int i = 0; i < 3; ++i) open.push_back(connect());
    ASSERT_TRUE(linux_platform::writeAll(open[2].get(), wire::encodeRequest(1, msg::Ping{})));
    ASSERT_FALSE(hungUp(open[2].get(), 200ms));  // the third is served (and answered)
    Fd fourth = connect();
    Fd fifth = connect();
    EXPECT_TRUE(hungUp(fourth.get(), 2000ms));
    EXPECT_TRUE(hungUp(fifth.get(), 2000ms));
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Refused connections from uid"), 1);

    open.clear();
    EXPECT_TRUE(testing::eventually([&] { return pingAnswered(100ms); })) << "closed connections free their places";
}

TEST_F(HelperServiceTest, AThreadThatCannotStartRefusesOnlyItsConnection) {
    int starts = 0;
    serve({.startThread = [&starts](std::function<void()> body) {
        if (++starts == 1) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    }});
    Fd unlucky = connect();
    EXPECT_TRUE(hungUp(unlucky.get(), 2000ms));
    EXPECT_TRUE(pingAnswered());
}

// A call under way neither holds up another connection's ping nor stops
// when its own client leaves.
TEST_F(HelperServiceTest, AConnectionAtWorkHoldsUpNobodyAndFinishesWithoutItsClient) {
    std::promise<void> begun, release;
    policy.beforeCall = [&, go = release.get_future().share()](std::int32_t pid) {
        if (pid != 77) return;
        begun.set_value();
        go.wait();
    };
    serve({});
    Fd leaving = connect();
    ASSERT_TRUE(linux_platform::writeAll(leaving.get(), wire::encodeRequest(1, msg::ThrottleMultipleProcesses{{76, 77, 78}})));
    begun.get_future().wait();
    EXPECT_TRUE(pingAnswered());
    leaving.reset();
    release.set_value();
    testing::eventually([&] { return tool.throttledPIDsSnapshot().size() == 3; });
    EXPECT_EQ(tool.throttledPIDsSnapshot(), (std::set<std::int32_t>{76, 77, 78}));
}

// Raw frames: the replies to a burst of messages, counted byte for byte.
TEST_F(HelperServiceTest, EveryMessageGetsExactlyOneReply) {
    serve({});
    Fd fd = connect();
    std::string burst;
    for (std::uint64_t id = 1; id <= 20; ++id) {
        msg::Call c = id % 4 == 0   ? msg::Call(msg::Ping{})
                      : id % 4 == 1 ? msg::Call(msg::ThrottleMultipleProcesses{{int(id)}})
                      : id % 4 == 2 ? msg::Call(msg::UnthrottleAllProcesses{})
                                    : msg::Call(msg::SetBeastMode{true, int(id)});
        burst += wire::encodeRequest(id, c);
    }
    ASSERT_TRUE(linux_platform::writeAll(fd.get(), burst));
    std::set<std::uint64_t> ids;
    for (int i = 0; i < 20; ++i) {
        auto frame = linux_platform::readFrame(fd.get());
        ASSERT_EQ(frame.status, linux_platform::ReadStatus::Frame);
        auto reply = wire::decodeReply(frame.payload);
        ASSERT_TRUE(reply);
        EXPECT_TRUE(ids.insert(reply->id).second) << "two replies for message " << reply->id;
    }
    EXPECT_EQ(ids.size(), 20u);
    pollfd p{fd.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "a 21st reply arrived";
}

TEST_F(HelperServiceTest, BadFramesCloseOnlyTheirOwnConnectionAndALeavingClientIsNoEvent) {
    serve({});
    Fd bystander = connect();
    ASSERT_TRUE(answered(bystander, msg::ThrottleProcess{50}));
    policy.clear();

    auto sendRaw = [&](const std::string& bytes) {
        Fd fd = connect();
        linux_platform::writeAll(fd.get(), bytes);
        return linux_platform::readFrame(fd.get()).status;
    };
    std::string oversized("\x01\x00\x10\x00", 4);  // 1 MiB + 1
    std::string unknown = wire::encodeRequest(1, msg::Ping{});
    unknown.replace(unknown.find("ping"), 4, "pong");
    std::string garbage("\x05\x00\x00\x00hello", 9);
    std::string truncatedThenClosed = wire::encodeRequest(1, msg::ThrottleProcess{1}).substr(0, 9);
    for (const auto& bad : {oversized, unknown, garbage}) {
        EXPECT_EQ(sendRaw(bad), linux_platform::ReadStatus::Closed);
    }
    linux_platform::writeAll(connect().get(), truncatedThenClosed);
    // A client that hangs up without reading its reply is no event worth a line.
    for (int i = 0; i < 3; ++i) {
        Fd leaving = connect();
        ASSERT_TRUE(linux_platform::writeAll(leaving.get(), wire::encodeRequest(1, msg::Ping{})));
        std::this_thread::sleep_for(20ms);  // the reply arrives and is never read
    }
    // The truncated message is noticed when its client hangs up, a moment later.
    testing::eventually([&] { return log.countStartingWith("KorvaneHelper: Closed connection from uid") >= 4; });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Closed connection from uid"), 4);
    EXPECT_TRUE(policy.calls().empty()) << "a bad message must change nothing";
    EXPECT_EQ(tool.throttledPIDsSnapshot(), (std::set<std::int32_t>{50}));
    EXPECT_TRUE(answered(bystander, msg::Ping{}));
}

}  // namespace
}  // namespace korvane
