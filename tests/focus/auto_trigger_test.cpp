// Beast Mode started and ended by the front-most application.
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using testing::FakeWorkspace;
using testing::idsOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int32_t kGame = 50;    // trigger
constexpr std::int32_t kRender = 51;  // trigger
constexpr std::int32_t kBrowser = 52;
constexpr std::int32_t kMail = 53;
constexpr std::int32_t kTool = 54;  // no bundle identifier

class AutoTriggerTest : public testing::FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        workspace.add(FakeWorkspace::regular(kGame, "Game", "org.game"));
        workspace.add(FakeWorkspace::regular(kRender, "Render", "org.render"));
        workspace.add(FakeWorkspace::regular(kBrowser, "Browser", "org.browser"));
        workspace.add(FakeWorkspace::regular(kMail, "Mail", "org.mail"));
        workspace.add(FakeWorkspace::regular(kTool, "Tool"));
        settings.setData(AutoTriggerManager::kAppsKey,
                         R"([{"name":"Game","bundleIdentifier":"org.game"},{"name":"Render","bundleIdentifier":"org.render"}])");
    }
    void activate(std::int32_t pid) {
        workspace.activate(pid);
        settle();
    }
    // The game in front, Auto-Trigger switched on, the helper's answer to
    // the activation not yet delivered.
    void enableWithTheActivationReplyHeld() {
        workspace.setFront(kGame);
        start();
        connector.hold();
        autoTrigger->isEnabled = true;
        loop.runPending();
        ASSERT_TRUE(connector.waitHeld(1));
    }
    // Beast Mode on for the game, which is in front.
    void beastModeOnForGame() {
        workspace.setFront(kGame);
        start();
        autoTrigger->isEnabled = true;
        settle();
        ASSERT_TRUE(autoTrigger->isBeastModeActive.get());
    }
};

TEST_F(AutoTriggerTest, EnablingWithATriggerInFrontActivatesAtOnceAndMarksItFocused) {
    settings.setBool(NotificationManager::kEnabledKey, true);
    beastModeOnForGame();
    center.joinAll();
    EXPECT_TRUE(settings.boolValue(AutoTriggerManager::kEnabledKey));
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50"));
    EXPECT_EQ(appManager->focusApp.get()->id, kGame);
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_THAT(idsOf(appManager->pCoreApps.get()), ElementsAre(kGame));
    ASSERT_EQ(center.requests().size(), 1u);
    EXPECT_EQ(center.requests()[0].title, "Focus Mode: Game");
    EXPECT_FALSE(autoTrigger->deactivationPending());
}

TEST_F(AutoTriggerTest, DeactivatesExactlyFiveSecondsAfterTheLastNonTriggerActivationUnlessATriggerComesBack) {
    beastModeOnForGame();
    // Away and back within the delay: no helper call at all.
    activate(kBrowser);
    EXPECT_TRUE(autoTrigger->deactivationPending());
    advance(4.9);
    activate(kGame);
    EXPECT_FALSE(autoTrigger->deactivationPending());
    advance(30);
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());

    activate(kBrowser);
    advance(3);
    activate(kTool);  // no bundle identifier: a non-trigger, which restarts the wait
    advance(4.999);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50"));
    advance(0.001);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
    EXPECT_FALSE(autoTrigger->isBeastModeActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, kGame);  // the selection stays
    EXPECT_EQ(focusLog().back(), "Korvane: Auto-Trigger — Beast Mode DEACTIVATED");
}

TEST_F(AutoTriggerTest, WithTwoTriggersQuittingOneWhileTheOtherIsInFrontKeepsBeastMode) {
    beastModeOnForGame();
    activate(kRender);  // a trigger while on: nothing new is sent
    workspace.terminate(kGame);
    settle();
    advance(30);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50"));

    // The last trigger quits with nothing in front: off after the delay.
    workspace.terminate(kRender);
    settle();
    advance(5);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
}

TEST_F(AutoTriggerTest, StandsAsideWhileAutoFocusHoldsFocus) {
    workspace.setFront(kGame);
    start();
    autoFocus->autoFocusActive = true;
    logLines.clear();
    autoTrigger->isEnabled = true;
    settle();
    EXPECT_THAT(logLines.lines(), ElementsAre("Korvane: AutoTrigger — AutoFocus aktif, Beast Mode tetiklenmedi"));
    EXPECT_THAT(daemon.commands(), IsEmpty());
}

TEST_F(AutoTriggerTest, DisablingWhileOnDeactivatesOnceAndStopsFollowing) {
    beastModeOnForGame();
    activate(kBrowser);
    autoTrigger->isEnabled = false;
    settle();
    advance(30);
    activate(kGame);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_FALSE(settings.boolValue(AutoTriggerManager::kEnabledKey));
}

TEST_F(AutoTriggerTest, ANonTriggerInFrontWhenTheActivationReplyArrivesStartsTheDelay) {
    ASSERT_NO_FATAL_FAILURE(enableWithTheActivationReplyHeld());
    workspace.activate(kBrowser);
    loop.runPending();
    EXPECT_FALSE(autoTrigger->deactivationPending());  // Beast Mode is not on yet
    connector.release();
    settle();
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());
    EXPECT_TRUE(autoTrigger->deactivationPending());
    advance(5);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
}

TEST_F(AutoTriggerTest, DisablingWhileTheActivationAwaitsTheHelperStillEndsBeastMode) {
    ASSERT_NO_FATAL_FAILURE(enableWithTheActivationReplyHeld());
    autoTrigger->isEnabled = false;
    connector.release();
    settle();
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
    EXPECT_FALSE(autoTrigger->isBeastModeActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
}

TEST_F(AutoTriggerTest, ATriggerBackInFrontWhileTheDeactivationAwaitsTheHelperStartsBeastModeAgain) {
    beastModeOnForGame();
    activate(kBrowser);
    connector.hold();
    loop.advanceBy(seconds(5));
    ASSERT_TRUE(connector.waitHeld(1));
    workspace.activate(kGame);
    loop.runPending();
    connector.release();
    settle();
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0", "beast on 50"));
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());
}

TEST_F(AutoTriggerTest, TriggerListRulesAndStoredForms) {
    start();
    autoTrigger->addApp("Another name", "org.game");
    autoTrigger->addApp("Empty", "");
    autoTrigger->addApp("Mail", "org.mail");
    autoTrigger->addApp("Browser", "org.browser");
    autoTrigger->removeApp({0, 2});
    autoTrigger->removeAppByID("org.browser");
    EXPECT_EQ(autoTrigger->triggerApps.get(), (std::vector<AutoTriggerApp>{{"Render", "org.render"}}));
    EXPECT_EQ(settings.dataValue(AutoTriggerManager::kAppsKey), R"([{"bundleIdentifier":"org.render","name":"Render"}])");

    // A stored switch does not observe before the wiring; a list that cannot
    // be read is left as it is.
    const std::string unreadable = R"([{"name":"Game","bundleIdentifier":7}])";
    settings.setData(AutoTriggerManager::kAppsKey, unreadable);
    settings.setBool(AutoTriggerManager::kEnabledKey, true);
    workspace.setFront(kGame);
    AutoTriggerManager fresh({.mainLoop = loop, .workspace = workspace, .settings = settings});
    EXPECT_TRUE(fresh.isEnabled.get());
    EXPECT_THAT(fresh.triggerApps.get(), IsEmpty());
    EXPECT_EQ(settings.dataValue(AutoTriggerManager::kAppsKey), unreadable);
    fresh.addApp("Game", "org.game");
    settle();
    EXPECT_THAT(daemon.commands(), IsEmpty());
    fresh.configure({xpc, appManager, notifications, autoFocus});
    settle();
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50"));
}

// A deactivation that cannot reach the helper is no deactivation: Beast Mode
// stays on as its processes do, and the helper's return repeats it.
TEST_F(AutoTriggerTest, ADeactivationThatFailsWhileTheHelperIsAwayIsRepeatedWhenItReturns) {
    beastModeOnForGame();
    activate(kBrowser);
    served.stop();
    advance(5);
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_FALSE(logLines.contains("Korvane: Auto-Trigger — Beast Mode DEACTIVATED"));
    EXPECT_EQ(logLines.countStartingWith("Korvane: Auto-Trigger — Beast Mode deactivation FAILED"), 1);

    served.restart();
    ASSERT_TRUE(advanceUntil([&] { return !autoTrigger->isBeastModeActive.get(); }));
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_EQ(focusLog().back(), "Korvane: Auto-Trigger — Beast Mode DEACTIVATED");
}

TEST_F(AutoTriggerTest, NothingInFrontForLongerThanABlinkStartsTheDelay) {
    beastModeOnForGame();
    workspace.clearFront();  // passing through nothing between two windows
    loop.runPending();
    advance(0.2);
    activate(kGame);
    advance(30);
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());

    workspace.clearFront();  // a click on the bare desktop
    advance(0.3);
    EXPECT_TRUE(autoTrigger->deactivationPending());
    advance(5);
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50", "beast off 0"));
}

}  // namespace
}  // namespace korvane::app
