// The once-only completion and the connection's lifecycle, with a connection
// whose answers the test hands in by hand, in any order, as often as it likes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "app/client/xpc_manager.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"

namespace korvane::app {
namespace {

struct ManualConnection final : HelperConnection {
    struct Sent {
        msg::Call call;
        CallCompletion completion;
    };
    void send(msg::Call call, CallCompletion completion) override { sent.push_back({std::move(call), std::move(completion)}); }
    void invalidate() override { ++invalidations; }

    std::deque<Sent> sent;
    ConnectionHandlers handlers;
    int invalidations = 0;
};

struct ManualConnector final : HelperConnector {
    std::shared_ptr<HelperConnection> connect(ConnectionHandlers handlers) override {
        auto connection = std::make_shared<ManualConnection>();
        connection->handlers = std::move(handlers);
        made.push_back(connection);
        return connection;
    }
    std::vector<std::shared_ptr<ManualConnection>> made;
};

msg::Reply reply(bool success, std::optional<std::string> message = std::nullopt) {
    return msg::Reply{success, true, std::move(message)};
}
Unexpected<ConnectionError> failure(std::string text) { return unexpected(ConnectionError{std::move(text)}); }

class OnceOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The status check at construction pings: the daemon answers yes.
        loop.runPending();
        ASSERT_EQ(connector.made.size(), 1u);
        connector.made[0]->sent.front().completion(msg::Reply{true, false, std::nullopt});
        connector.made[0]->sent.pop_front();
        loop.runPending();
        ASSERT_TRUE(xpc.helperActive.get());
    }

    // Starts a call and returns where its result will land.
    std::shared_ptr<std::optional<bool>> startCall() {
        auto result = std::make_shared<std::optional<bool>>();
        spawn(loop, [this, result]() -> Async<> {
            std::vector<std::string> ids{"a"};  // g++ 12 rejects a braced list inside co_await
            *result = co_await xpc.updateJailedBundleIDs(ids);
            ++resumed;
        });
        loop.runPending();
        return result;
    }
    ManualConnection& current() { return *connector.made.back(); }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    ManualConnector connector;
    XPCManager xpc{{.mainLoop = loop, .connector = connector, .filesystemRoot = ""}};
    int resumed = 0;
};

TEST_F(OnceOnlyTest, AReplyAfterTheErrorHandlerCompletedTheCallIsIgnored) {
    auto result = startCall();
    auto completion = current().sent.front().completion;
    completion(failure("Connection refused"));
    completion(reply(false, "daemon says no"));
    loop.runPending();
    EXPECT_EQ(*result, false);
    EXPECT_EQ(resumed, 1);
    EXPECT_EQ(xpc.lastError.get(), "Connection refused");
    EXPECT_FALSE(xpc.helperActive.get());
}

TEST_F(OnceOnlyTest, AnErrorAfterTheReplyCompletedTheCallIsIgnored) {
    auto result = startCall();
    auto completion = current().sent.front().completion;
    completion(reply(false, "daemon says no"));
    completion(failure("Connection reset"));
    loop.runPending();
    EXPECT_EQ(*result, false);
    EXPECT_EQ(resumed, 1);
    EXPECT_EQ(xpc.lastError.get(), "daemon says no");
    EXPECT_TRUE(xpc.helperActive.get());
}

TEST_F(OnceOnlyTest, AFailedCallDropsItsConnectionAndTheNextCallOpensANewOne) {
    auto first = startCall();
    current().sent.front().completion(failure("Broken pipe"));
    loop.runPending();
    auto second = startCall();
    ASSERT_EQ(connector.made.size(), 2u);
    current().sent.front().completion(reply(true));
    loop.runPending();
    EXPECT_EQ(*first, false);
    EXPECT_EQ(*second, true);
}

TEST_F(OnceOnlyTest, ALateHandlerOfAnOldConnectionLeavesItsSuccessorAlone) {
    auto first = startCall();
    auto old = connector.made.back();
    old->sent.front().completion(failure("Broken pipe"));
    loop.runPending();
    auto second = startCall();  // in flight on the new connection
    old->handlers.interrupted();
    EXPECT_TRUE(logLines.contains("Korvane: XPC bağlantısı kesintiye uğradı."));
    EXPECT_EQ(xpc.getConnection(), connector.made.back());
    EXPECT_EQ(connector.made.size(), 2u);

    connector.made.back()->handlers.invalidated();  // its own handler does drop it
    EXPECT_TRUE(logLines.contains("Korvane: XPC bağlantısı geçersiz kılındı."));
    xpc.getConnection();
    EXPECT_EQ(connector.made.size(), 3u);
}

TEST_F(OnceOnlyTest, DroppingAndInvalidatingBeforeAnInstallForgetsTheConnection) {
    auto connection = connector.made.back();
    xpc.dropAndInvalidateConnection();
    EXPECT_EQ(connection->invalidations, 1);
    xpc.getConnection();
    EXPECT_EQ(connector.made.size(), 2u);
}

TEST_F(OnceOnlyTest, TheManagerGoingAwayAbandonsItsCallersInsteadOfResumingThem) {
    std::optional<bool> result;
    {
        ManualConnector localConnector;
        auto local = std::make_unique<XPCManager>(XPCManager::Dependencies{loop, localConnector, ""});
        loop.runPending();
        spawn(loop, [&result, &local]() -> Async<> { result = co_await local->updateJailedBundleIDs({}); });
        loop.runPending();
        auto pending = localConnector.made.back()->sent.back().completion;
        local.reset();
        pending(reply(true));  // the answer comes after the manager has gone
        loop.runPending();
    }
    EXPECT_EQ(result, std::nullopt);
}

}  // namespace
}  // namespace korvane::app
