// The once-only completion and the connection's lifecycle, with a connection
// whose answers the test hands in by hand, in any order, as often as it likes.
#include <gtest/gtest.h>

#include <deque>

#include "app/client/xpc_manager.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"

namespace korvane::app {
namespace {

struct ManualConnection final : HelperConnection {
    void send(msg::Call, CallCompletion completion) override { sent.push_back(std::move(completion)); }
    void invalidate() override {}
    std::deque<CallCompletion> sent;
    ConnectionHandlers handlers;
};

struct ManualConnector final : HelperConnector {
    std::shared_ptr<HelperConnection> connect(ConnectionHandlers handlers) override {
        made.push_back(std::make_shared<ManualConnection>());
        made.back()->handlers = std::move(handlers);
        return made.back();
    }
    std::vector<std::shared_ptr<ManualConnection>> made;
};

msg::Reply reply(bool success, std::optional<std::string> message) { return msg::Reply{success, true, message}; }
Unexpected<ConnectionError> failure(std::string text) { return unexpected(ConnectionError{std::move(text)}); }

class OnceOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.runPending();  // the status check pings; the daemon answers yes
        connector.made.at(0)->sent.at(0)(msg::Reply{true, false, std::nullopt});
        loop.runPending();
        ASSERT_TRUE(xpc.helperActive.get());
    }
    // Starts a call; its result lands in the returned slot.
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

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    ManualConnector connector;
    XPCManager xpc{{.mainLoop = loop, .connector = connector, .filesystemRoot = ""}};
    int resumed = 0;
};

TEST_F(OnceOnlyTest, WhicheverOfReplyAndErrorComesFirstCompletesTheCallAndTheOtherIsIgnored) {
    auto errorFirst = startCall();
    auto completion = connector.made.back()->sent.back();
    completion(failure("Connection refused"));
    completion(reply(false, "daemon says no"));
    loop.runPending();
    EXPECT_EQ(*errorFirst, false);
    EXPECT_EQ(xpc.lastError.get(), "Connection refused");
    EXPECT_FALSE(xpc.helperActive.get());

    xpc.helperActive = true;
    auto replyFirst = startCall();  // on a new connection: the error dropped the old one
    ASSERT_EQ(connector.made.size(), 2u);
    completion = connector.made.back()->sent.back();
    completion(reply(false, "daemon says no"));
    completion(failure("Connection reset"));
    loop.runPending();
    EXPECT_EQ(*replyFirst, false);
    EXPECT_EQ(xpc.lastError.get(), "daemon says no");
    EXPECT_TRUE(xpc.helperActive.get());
    EXPECT_EQ(resumed, 2);
}

TEST_F(OnceOnlyTest, ALateHandlerOfAnEarlierConnectionLeavesItsSuccessorAlone) {
    auto first = startCall();
    auto old = connector.made.back();
    old->sent.back()(failure("Broken pipe"));
    loop.runPending();
    auto second = startCall();  // opens a new connection and is in flight on it
    ASSERT_EQ(connector.made.size(), 2u);
    old->handlers.interrupted();
    EXPECT_EQ(xpc.getConnection(), connector.made.back());

    connector.made.back()->handlers.invalidated();  // its own handler does drop it
    xpc.getConnection();
    EXPECT_EQ(connector.made.size(), 3u);
}

TEST_F(OnceOnlyTest, TheManagerGoingAwayAbandonsItsCallersInsteadOfResumingThem) {
    std::optional<bool> result;
    ManualConnector localConnector;
    auto local = std::make_unique<XPCManager>(XPCManager::Dependencies{loop, localConnector, ""});
    loop.runPending();
    spawn(loop, [&result, &local]() -> Async<> {
        std::vector<std::string> none;
        result = co_await local->updateJailedBundleIDs(none);
    });
    loop.runPending();
    auto pending = localConnector.made.back()->sent.back();
    local.reset();
    pending(reply(true, std::nullopt));  // the answer comes after the manager has gone
    loop.runPending();
    EXPECT_EQ(result, std::nullopt);
}

}  // namespace
}  // namespace korvane::app
