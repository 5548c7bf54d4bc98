// Auto-Focus following the front-most application.
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using testing::FakeWorkspace;
using testing::idsOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::int32_t kEditor = 40;   // a target
constexpr std::int32_t kIDE = 41;      // a target
constexpr std::int32_t kBrowser = 42;  // not a target
constexpr std::int32_t kOwn = 43;

AppIcon editorIcon() {
    AppIcon icon;
    icon.themeNameOrPath = "org.editor";
    return icon;
}

class AutoFocusTest : public testing::FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        auto editor = FakeWorkspace::regular(kEditor, "Editor", "org.editor");
        editor.icon = editorIcon();
        workspace.add(editor);
        workspace.add(FakeWorkspace::regular(kIDE, "IDE", "org.ide"));
        workspace.add(FakeWorkspace::regular(kBrowser, "Browser", "org.browser"));
        workspace.add(FakeWorkspace::regular(kOwn, "Korvane", "com.korvane.app"));
        settings.setData(AutoFocusManager::kTargetsKey,
                         R"([{"name":"Editor","bundleIdentifier":"org.editor"},{"name":"IDE","bundleIdentifier":"org.ide"}])");
    }
    void activate(std::int32_t pid) {
        workspace.activate(pid);
        settle();
    }
};

// The notification and the log line are checked on the real desktop.
TEST_F(AutoFocusTest, EnablingWithATargetInFrontEngagesAtOnce) {
    workspace.setFront(kEditor);
    start();
    autoFocus->isEnabled = true;
    settle();
    EXPECT_TRUE(settings.boolValue(AutoFocusManager::kEnabledKey));
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 41 ]"));
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(autoFocus->focusedAppIcon.get(), editorIcon());
    EXPECT_EQ(appManager->focusApp.get()->id, kEditor);
    EXPECT_FALSE(autoFocus->isTransitioning());
}

TEST_F(AutoFocusTest, AStoredSwitchEngagesAtStartUpOnTheFirstListedOfTwoInstancesAndThrottlesTheOther) {
    settings.setBool(AutoFocusManager::kEnabledKey, true);
    workspace.add(FakeWorkspace::regular(44, "Editor", "org.editor"));
    workspace.setFront(44);
    start();
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, kEditor);
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 44 41 ]"));
}

TEST_F(AutoFocusTest, StandsAsideForManualFocusAndBeastMode) {
    start();
    // Manual focus of the browser: a target in front changes nothing, and the
    // non-target after it releases nothing, since Auto-Focus did not engage.
    appManager->focusApp = appManager->runningApps->at(0);  // Browser
    spawn(loop, [this]() -> Async<> { co_await appManager->activateFocusMode(*xpc); });
    settle();
    autoFocus->isEnabled = true;
    activate(kEditor);
    activate(kBrowser);
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, kBrowser);
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 40 41 ]"));

    // Beast Mode on: a target in front only logs.
    spawn(loop, [this]() -> Async<> { co_await appManager->runFocusReleaseSequence(*xpc); });
    settle();
    autoTrigger->isBeastModeActive = true;
    logLines.clear();
    activate(kEditor);
    EXPECT_THAT(logLines.lines(), ElementsAre("Korvane: AutoFocus — Beast Mode aktif, AutoFocus tetiklenmedi"));
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
}

TEST_F(AutoFocusTest, ASecondTargetWaitsForANonTargetReleaseAndOwnWindowsChangeNothing) {
    start();
    autoFocus->isEnabled = true;
    activate(kEditor);
    activate(kIDE);
    activate(kOwn);
    EXPECT_EQ(appManager->focusApp.get()->id, kEditor);
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 41 ]"));

    logLines.clear();
    activate(kBrowser);
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(autoFocus->focusedAppIcon.get(), std::nullopt);
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_THAT(focusLog(), ElementsAre("Korvane: 2 işlem normale döndürüldü.",
                                        "Korvane: Odak modu devre dışı — tüm uygulamalar normale döndürüldü.",
                                        "Korvane: Auto-Focus serbest bırakıldı — Browser"));

    activate(kIDE);
    EXPECT_EQ(appManager->focusApp.get()->id, kIDE);
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
}

TEST_F(AutoFocusTest, DisablingWhileEngagedReleasesWithoutTheReleaseLine) {
    start();
    autoFocus->isEnabled = true;
    activate(kEditor);
    logLines.clear();
    autoFocus->isEnabled = false;
    settle();
    EXPECT_FALSE(settings.boolValue(AutoFocusManager::kEnabledKey));
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(autoFocus->focusedAppIcon.get(), std::nullopt);
    EXPECT_THAT(xpc->throttledPIDs.get(), IsEmpty());
    EXPECT_THAT(focusLog(), ElementsAre("Korvane: 2 işlem normale döndürüldü.",
                                        "Korvane: Odak modu devre dışı — tüm uygulamalar normale döndürüldü."));
    // No longer following the front.
    activate(kIDE);
    EXPECT_FALSE(appManager->isFocusModeActive.get());
}

TEST_F(AutoFocusTest, DisablingWhileTheEngagementAwaitsTheHelperStillReleases) {
    start();
    workspace.setFront(kEditor);
    connector.hold();
    autoFocus->isEnabled = true;
    loop.runPending();  // the engagement sends its call and awaits the held reply
    ASSERT_TRUE(connector.waitHeld(1));
    ASSERT_TRUE(autoFocus->isTransitioning());
    autoFocus->isEnabled = false;
    connector.release();
    settle();
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_THAT(xpc->throttledPIDs.get(), IsEmpty());
}

// Activations that arrive while the helper answers are dropped; the front
// they leave behind still decides once the answer is in.
TEST_F(AutoFocusTest, AFrontChangeWhileTheHelperAnswersIsActedOnAfterwards) {
    start();
    autoFocus->isEnabled = true;
    connector.hold();
    workspace.activate(kEditor);
    loop.runPending();
    ASSERT_TRUE(connector.waitHeld(1));
    workspace.activate(kBrowser);  // the user moved on before focus engaged
    loop.runPending();
    connector.release();
    settle();
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_THAT(xpc->throttledPIDs.get(), IsEmpty());
    EXPECT_EQ(focusLog().back(), "Korvane: Auto-Focus serbest bırakıldı — Browser");

    // And back to a target while the release awaits the helper.
    activate(kEditor);
    connector.hold();
    workspace.activate(kBrowser);
    loop.runPending();
    ASSERT_TRUE(connector.waitHeld(1));
    workspace.activate(kIDE);
    loop.runPending();
    connector.release();
    settle();
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, kIDE);
    EXPECT_EQ(focusLog().back(), "Korvane: Auto-Focus tetiklendi — IDE");
}

// The list's editing rules and an unreadable stored list are checked on the
// trigger list, which shares them.
TEST_F(AutoFocusTest, TargetEditsAreStoredAndIdentifiersMatchExactly) {
    start();
    autoFocus->addTarget("Browser", "org.browser");
    autoFocus->removeTargetByID("org.ide");
    EXPECT_EQ(settings.dataValue(AutoFocusManager::kTargetsKey),
              R"([{"bundleIdentifier":"org.editor","name":"Editor"},{"bundleIdentifier":"org.browser","name":"Browser"}])");
    EXPECT_TRUE(autoFocus->isTarget(std::string("org.browser")));
    EXPECT_FALSE(autoFocus->isTarget(std::string("ORG.BROWSER")));
    EXPECT_FALSE(autoFocus->isTarget(std::nullopt));
}

// An engagement the helper never carried out is no engagement: nothing
// looks engaged, the log says it failed, and the helper's return engages.
TEST_F(AutoFocusTest, AnEngagementWhileTheHelperIsAwayFailsAndIsMadeWhenItReturns) {
    start();
    autoFocus->isEnabled = true;
    served.stop();
    activate(kEditor);
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_FALSE(logLines.contains("Korvane: Auto-Focus tetiklendi — Editor"));
    EXPECT_EQ(logLines.countStartingWith("Korvane: Auto-Focus FAILED for Editor"), 1);

    served.restart();
    ASSERT_TRUE(advanceUntil([&] { return autoFocus->autoFocusActive.get(); }));
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 41 ]"));
}

TEST_F(AutoFocusTest, NothingInFrontForLongerThanABlinkReleases) {
    start();
    autoFocus->isEnabled = true;
    activate(kEditor);
    workspace.clearFront();
    loop.runPending();
    advance(0.299);
    activate(kEditor);  // the window manager's blink between two windows
    advance(1);
    EXPECT_TRUE(autoFocus->autoFocusActive.get());

    workspace.clearFront();  // the last window minimised
    loop.runPending();
    advance(0.3);
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_THAT(xpc->throttledPIDs.get(), IsEmpty());
}

TEST_F(AutoFocusTest, SwitchedBackOnWhileTheSwitchOffReleaseAwaitsTheHelperEngagesTheTargetInFront) {
    start();
    autoFocus->isEnabled = true;
    activate(kEditor);
    connector.hold();
    autoFocus->isEnabled = false;
    loop.runPending();
    ASSERT_TRUE(connector.waitHeld(1));
    autoFocus->isEnabled = true;
    loop.runPending();
    connector.release();
    settle();
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_EQ(xpc->throttledPIDs.get(), (std::set<std::int32_t>{kBrowser, kIDE}));
}

// Both on, the helper slow: an engagement or an activation still awaiting
// the helper keeps the other out, and Beast Mode's end ends Auto-Focus's.
TEST_F(AutoFocusTest, AnEngagementOrABeastModeActivationInFlightKeepsTheOtherOut) {
    settings.setData(AutoTriggerManager::kAppsKey, R"([{"name":"Browser","bundleIdentifier":"org.browser"}])");
    start();
    autoFocus->isEnabled = true;
    autoTrigger->isEnabled = true;
    auto heldWhile = [&](std::int32_t first, std::int32_t second) {
        connector.hold();
        workspace.activate(first);
        loop.runPending();
        ASSERT_TRUE(connector.waitHeld(1));
        workspace.activate(second);
        loop.runPending();
        connector.release();
        settle();
    };
    // A target, then the trigger: no Beast Mode; the engagement ends since
    // a non-target is in front by then.
    heldWhile(kEditor, kBrowser);
    EXPECT_FALSE(autoTrigger->isBeastModeActive.get());
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 41 ]", "unthrottle 41", "unthrottle 42"));

    // The trigger, then a target: no engagement beside Beast Mode.
    heldWhile(kBrowser, kEditor);
    EXPECT_TRUE(autoTrigger->isBeastModeActive.get());
    EXPECT_FALSE(autoFocus->autoFocusActive.get());
    EXPECT_EQ(daemon.commands().back(), "beast on 42");

    // Five seconds after the trigger left, Beast Mode ends and the target in
    // front engages.
    advance(5);
    EXPECT_FALSE(autoTrigger->isBeastModeActive.get());
    EXPECT_TRUE(autoFocus->autoFocusActive.get());
    auto commands = daemon.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(commands.end() - 2, commands.end()),
                ElementsAre("beast off 0", "throttleMultiple [ 42 41 ]"));
}

}  // namespace
}  // namespace korvane::app
