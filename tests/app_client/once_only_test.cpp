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

msg::Reply refusal(std::string message) { return msg::Reply{false, true, std::move(message)}; }
Unexpected<ConnectionError> failure(std::string text) { return unexpected(ConnectionError{std::move(text)}); }

class OnceOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.runPending();  // the status check pings; the daemon answers yes
        connector.made.at(0)->sent.at(0)(msg::Reply{true, false, std::nullopt});
        loop.runPending();
        ASSERT_TRUE(xpc->helperActive.get());
    }
    // Starts a call; its result lands in the returned slot.
    std::shared_ptr<std::optional<bool>> startCall() {
        auto result = std::make_shared<std::optional<bool>>();
        spawn(loop, [this, result]() -> Async<> {
            std::vector<std::string> ids{"a"};  // g++ 12 rejects a braced list inside co_await
            *result = co_await xpc->updateJailedBundleIDs(ids);
            ++resumed;
        });
        loop.runPending();
        return result;
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    ManualConnector connector;
    std::optional<XPCManager> xpc{std::in_place, XPCManager::Dependencies{loop, connector, ""}};
    int resumed = 0;
};

TEST_F(OnceOnlyTest, WhicheverOfReplyAndErrorComesFirstCompletesTheCallAndTheOtherIsIgnored) {
    auto errorFirst = startCall();
    auto completion = connector.made.back()->sent.back();
    completion(failure("Connection refused"));
    completion(refusal("daemon says no"));
    loop.runPending();
    EXPECT_EQ(*errorFirst, false);
    EXPECT_EQ(xpc->lastError.get(), "Connection refused");
    EXPECT_FALSE(xpc->helperActive.get());

    xpc->helperActive = true;
    auto replyFirst = startCall();  // on a new connection: the error dropped the old one
    ASSERT_EQ(connector.made.size(), 2u);
    completion = connector.made.back()->sent.back();
    completion(refusal("daemon says no"));
    completion(failure("Connection reset"));
    loop.runPending();
    EXPECT_EQ(*replyFirst, false);
    EXPECT_EQ(xpc->lastError.get(), "daemon says no");
    EXPECT_TRUE(xpc->helperActive.get());
    EXPECT_EQ(resumed, 2);
}

TEST_F(OnceOnlyTest, ALateHandlerOfAnEarlierConnectionLeavesItsSuccessorAlone) {
    startCall();
    auto old = connector.made.back();
    old->sent.back()(failure("Broken pipe"));
    loop.runPending();
    startCall();  // opens a new connection and is in flight on it
    ASSERT_EQ(connector.made.size(), 2u);
    old->handlers.interrupted();
    EXPECT_EQ(xpc->getConnection(), connector.made.back());

    connector.made.back()->handlers.invalidated();  // its own handler does drop it
    xpc->getConnection();
    EXPECT_EQ(connector.made.size(), 3u);
}

TEST_F(OnceOnlyTest, TheManagerGoingAwayAbandonsItsCallersInsteadOfResumingThem) {
    auto result = startCall();
    auto pending = connector.made.back()->sent.back();
    xpc.reset();
    pending(msg::Reply{true, true, std::nullopt});  // the answer comes after the manager has gone
    loop.runPending();
    EXPECT_EQ(*result, std::nullopt);
    EXPECT_EQ(resumed, 0);
}

}  // namespace
}  // namespace korvane::app
