// The helper's service on a real socket, with the real HelperTool behind it and
// a fake task policy.
#include "platform/linux/socket/helper_service.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
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

TEST_F(HelperServiceTest, EveryMethodAnswersOverTheSocket) {
    auto c = connect();
    policy.failFor(99, 1, "no such process");
    struct Case {
        msg::Call call;
        msg::Reply expected;
    };
    const std::vector<Case> cases = {
        {msg::Ping{}, {true, false, std::nullopt}},
        {msg::ThrottleProcess{5}, {true, true, std::nullopt}},
        {msg::ThrottleProcess{99}, {false, true, "taskpolicy failed for PID 99 with exit code 1: no such process"}},
        {msg::UnthrottleProcess{5}, {true, true, std::nullopt}},
        {msg::ThrottleMultipleProcesses{{6, 99}},
         {false, true, "PID 99: taskpolicy failed for PID 99 with exit code 1: no such process"}},
        {msg::UnthrottleAllProcesses{}, {true, true, std::nullopt}},
        {msg::UpdateJailedBundleIDs{{"org.example.App"}}, {true, true, std::nullopt}},
        {msg::SetBeastMode{true, 6}, {true, true, std::nullopt}},
        {msg::SetBeastMode{false, 0}, {true, true, std::nullopt}},
        {msg::SetFanControlMode{0, true}, {false, true, "SMC connection failed — cannot set fan mode"}},
        {msg::SetFanTargetRPM{0, 2000}, {false, true, "SMC connection failed — cannot set fan RPM"}},
    };
    for (const auto& [request, expected] : cases) {
        auto reply = call(*c, request);
        ASSERT_TRUE(reply) << msg::selectorOf(request) << ": " << reply.error().description;
        EXPECT_EQ(*reply, expected) << msg::selectorOf(request);
    }
}

TEST_F(HelperServiceTest, ClientsShareOneThrottledSet) {
    auto first = connect();
    auto second = connect();
    ASSERT_TRUE(call(*first, msg::ThrottleProcess{31}));
    policy.clear();
    ASSERT_TRUE(call(*second, msg::UnthrottleAllProcesses{}));
    EXPECT_EQ(policy.calls(), std::vector{testing::released(31)});
    EXPECT_TRUE(tool.throttledPIDsSnapshot().empty());
}

TEST_F(HelperServiceTest, PingIsAnsweredWhileAnotherConnectionWorks) {
    auto held = holdRunOf(77);
    auto busy = connect();
    std::promise<Expected<msg::Reply, ConnectionError>> busyReply;
    busy->send(msg::ThrottleMultipleProcesses{{76, 77, 78}},
               [&](Expected<msg::Reply, ConnectionError> r) { busyReply.set_value(r); });
    held.wait();

    auto other = connect();
    auto ping = call(*other, msg::Ping{});
    ASSERT_TRUE(ping);
    EXPECT_TRUE(ping->success);

    releaseHeldRun();
    auto done = busyReply.get_future().get();
    ASSERT_TRUE(done);
    EXPECT_TRUE(done->success);
}

TEST_F(HelperServiceTest, AClientLeavingMidOperationDoesNotStopIt) {
    auto held = holdRunOf(82);
    {
        auto leaving = connect();
        leaving->send(msg::ThrottleMultipleProcesses{{81, 82, 83}}, [](auto) {});
        held.wait();
        leaving->invalidate();
    }
    releaseHeldRun();
    auto c = connect();
    for (int i = 0; i < 100 && tool.throttledPIDsSnapshot().size() < 3; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(tool.throttledPIDsSnapshot(), (std::set<std::int32_t>{81, 82, 83}));
    EXPECT_TRUE(call(*c, msg::Ping{}));
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

TEST_F(HelperServiceTest, TheSocketBelongsToTheAllowedUserAlone) {
    struct stat info{};
    ASSERT_EQ(::stat(socketPath.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, ::getuid());
}

TEST_F(HelperServiceTest, RunningOutOfDescriptorsOnlyPausesAccepting) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' own checks open descriptors (UBSan probes memory through
    // a pipe) and report false errors when the table is full.
    GTEST_SKIP() << "needs free descriptors for the sanitizers";
#endif
    // Lower the descriptor limit and fill the table, leaving one slot for a
    // client's socket. The service's waiting accept reserved its descriptor
    // beforehand and takes that client; the accept after it fails with EMFILE.
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    std::vector<int> filler;
    filler.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    rlimit lowered = original;
    lowered.rlim_cur = static_cast<rlim_t>(filler.back()) + 8;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) filler.push_back(fd);
    ::close(filler.back());
    filler.pop_back();
    auto first = linux_platform::connectUnix(socketPath);
    for (int i = 0; i < 300 && !log.countStartingWith("KorvaneHelper: Accepting connections failed"); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    for (int fd : filler) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &original);
    ASSERT_TRUE(first);
    EXPECT_EQ(log.countStartingWith("KorvaneHelper: Accepting connections failed — accept: Too many open files"), 1);

    // With descriptors free again, a new client is served.
    auto second = linux_platform::connectUnix(socketPath);
    ASSERT_TRUE(second);
    ASSERT_TRUE(linux_platform::writeAll(second->get(), wire::encodeRequest(1, msg::Ping{})));
    pollfd answer{second->get(), POLLIN, 0};
    ASSERT_EQ(::poll(&answer, 1, 5000), 1) << "the service stopped accepting";
    auto frame = linux_platform::readFrame(second->get());
    ASSERT_EQ(frame.status, linux_platform::ReadStatus::Frame);
    auto reply = wire::decodeReply(frame.payload);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->reply.success);
}

}  // namespace
}  // namespace korvane
