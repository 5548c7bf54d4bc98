// One Korvane per user: the hand-over rules with scripted channels, and the
// per-user socket for real, between two instances in one test (the asking
// one on its own thread, as it would be in its own process).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fstream>
#include <future>
#include <thread>

#include "app/shell/korvane_app.h"
#include "platform/linux/session/local_socket_app_instance.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

class ScriptedInstance final : public AppInstance {
public:
    ScriptedInstance(bool answers, Claim claimResult) : answers_(answers), claimResult_(claimResult) {}
    Claim claim(std::function<void()>) override {
        ++claims;
        return claimResult_;
    }
    bool requestToggle() override {
        ++requests;
        return answers_;
    }
    int claims = 0;
    int requests = 0;

private:
    bool answers_;
    Claim claimResult_;
};

TEST(InstanceHandOver, ARunningInstanceOnAnyChannelTakesTheRequest) {
    ScriptedInstance bus(false, AppInstance::Claim::unavailable);
    ScriptedInstance socket(true, AppInstance::Claim::primary);
    EXPECT_TRUE(KorvaneApp::handOverToRunningInstance({&bus, &socket}, [] {}));
    EXPECT_EQ(bus.claims + socket.claims, 0);  // nothing claimed by the process that ends
}

TEST(InstanceHandOver, TheFirstInstanceClaimsEveryChannelThatWorks) {
    ScriptedInstance bus(false, AppInstance::Claim::primary);
    ScriptedInstance socket(false, AppInstance::Claim::primary);
    EXPECT_FALSE(KorvaneApp::handOverToRunningInstance({&bus, &socket}, [] {}));
    EXPECT_EQ(bus.claims, 1);
    EXPECT_EQ(socket.claims, 1);

    ScriptedInstance noBus(false, AppInstance::Claim::unavailable);
    ScriptedInstance onlySocket(false, AppInstance::Claim::primary);
    EXPECT_FALSE(KorvaneApp::handOverToRunningInstance({&noBus, &onlySocket}, [] {}));
}

TEST(InstanceHandOver, LosingTheRaceForTheNameHandsOver) {
    // Another instance took the name between our request and our claim.
    class RacingInstance final : public AppInstance {
    public:
        Claim claim(std::function<void()>) override { return Claim::anotherIsRunning; }
        bool requestToggle() override { return ++requests > 1; }
        int requests = 0;
    } bus;
    ScriptedInstance socket(false, AppInstance::Claim::primary);
    EXPECT_TRUE(KorvaneApp::handOverToRunningInstance({&bus, &socket}, [] {}));
    EXPECT_EQ(socket.claims, 0);
}

TEST(CommandLine, ToggleHelpAndVersionAreTheOnlyOptions) {
    auto toggle = KorvaneApp::parseArguments({"korvane", "--toggle"});
    ASSERT_TRUE(toggle);
    EXPECT_TRUE(toggle.value().toggle);
    EXPECT_TRUE(KorvaneApp::parseArguments({"korvane", "--help"}).value().help);
    EXPECT_TRUE(KorvaneApp::parseArguments({"korvane", "--version"}).value().version);
    EXPECT_FALSE(KorvaneApp::parseArguments({"korvane", "--tgogle"}));
}

TEST(LocalSocketInstance, ASecondStartTogglesTheFirstAndAStaleSocketIsReplaced) {
    testing::FixtureTree folder;
    const QString path = QString::fromStdString(folder.path("korvane-app.sock"));
    // A socket file left by an instance that crashed.
    std::ofstream(path.toStdString()) << "";
    EXPECT_FALSE(linux_platform::LocalSocketAppInstance(path).requestToggle());  // nobody listens on it

    linux_platform::LocalSocketAppInstance first(path);
    int toggles = 0;
    ASSERT_EQ(first.claim([&] { ++toggles; }), AppInstance::Claim::primary);

    auto ask = [&path] {
        return std::async(std::launch::async, [path] {
            linux_platform::LocalSocketAppInstance second(path);
            return second.requestToggle();
        });
    };
    for (int expected : {1, 2}) {
        auto answer = ask();
        QElapsedTimer clock;
        clock.start();
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && clock.elapsed() < 8000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        ASSERT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
        EXPECT_TRUE(answer.get());
        EXPECT_EQ(toggles, expected);
    }
}

}  // namespace
}  // namespace korvane::app
