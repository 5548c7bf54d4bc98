// Running applications and manual focus mode.
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using testing::FakeWorkspace;
using testing::idsOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using AppManagerTest = testing::FocusWorld;

TEST_F(AppManagerTest, ListsRegularNamedForeignAppsInStableLocaleOrderWithConfinedOnesOnTheEfficiencyCores) {
    workspace.add(FakeWorkspace::regular(1, "Korvane", "com.korvane.app"));
    workspace.add(FakeWorkspace::regular(2, "zebra", "org.zebra"));
    workspace.add(FakeWorkspace::regular(3, "Apple", "org.apple.one"));
    workspace.add(FakeWorkspace::withPolicy(FakeWorkspace::regular(4, "Tray thing", "org.tray"),
                                            ActivationPolicy::accessory));
    workspace.add(FakeWorkspace::regular(5, "apple", "org.apple.two"));
    workspace.add(FakeWorkspace::regular(6, std::nullopt, "org.nameless"));
    workspace.add(FakeWorkspace::regular(7, "Éclair"));  // no bundle identifier, still listed
    workspace.add(FakeWorkspace::withPolicy(FakeWorkspace::regular(8, "Agent", "org.agent"),
                                            ActivationPolicy::prohibited));
    workspace.add(FakeWorkspace::regular(9, "APPLE", "org.apple.three"));
    workspace.add(FakeWorkspace::regular(10, "Ärlig"));
    placement.confined = {2};
    start();

    // Names equal but for case keep the desktop's order; É and Ä sort with
    // E and A in English.
    EXPECT_THAT(idsOf(appManager->runningApps.get()), ElementsAre(3, 5, 9, 10, 7, 2));
    // Outside focus mode, what the machine confined shows on the E-cores.
    EXPECT_THAT(idsOf(appManager->pCoreApps.get()), ElementsAre(3, 5, 9, 10, 7));
    EXPECT_THAT(idsOf(appManager->eCoreApps.get()), ElementsAre(2));
    // In Swedish Ä comes after Z.
    AppManager swedish({.mainLoop = loop, .workspace = workspace, .ownBundleID = {}, .collationLocale = "sv_SE.UTF-8"});
    EXPECT_THAT(idsOf(swedish.runningApps.get()), ElementsAre(3, 5, 9, 7, 2, 10));
}

TEST_F(AppManagerTest, FocusNowWithNothingElseListedSendsNothingAndStaysOff) {
    workspace.add(FakeWorkspace::regular(10, "Editor", "org.editor"));
    workspace.add(FakeWorkspace::regular(11, "Korvane", "com.korvane.app"));
    start();
    focusNow(10);
    EXPECT_THAT(daemon.commands(), IsEmpty());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
}

TEST_F(AppManagerTest, FocusThrottlesTheOthersAndIsReleasedWhenTheFocusAppQuits) {
    workspace.add(FakeWorkspace::regular(20, "Mail", "org.mail"));
    workspace.add(FakeWorkspace::regular(21, "Browser", "org.browser"));
    workspace.add(FakeWorkspace::regular(22, "Chat", "org.chat"));
    start();
    focusNow(22);
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 21 20 ]"));
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_THAT(idsOf(appManager->pCoreApps.get()), ElementsAre(22));
    EXPECT_THAT(idsOf(appManager->eCoreApps.get()), ElementsAre(21, 20));

    // Releasing keeps the selection.
    releaseFocus();
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, 22);
    EXPECT_EQ(appManager->pCoreApps.get(), appManager->runningApps.get());

    // Focus again, then the focus application quits: nothing is left to
    // focus on, so the others are released and focus mode ends.
    focusNow(22);
    workspace.terminate(22);
    settle();
    EXPECT_EQ(appManager->focusApp.get(), std::nullopt);
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 21 20 ]", "unthrottle 20", "unthrottle 21",
                                               "throttleMultiple [ 21 20 ]", "unthrottle 20", "unthrottle 21"));
    EXPECT_THAT(xpc->throttledPIDs.get(), IsEmpty());
}

TEST_F(AppManagerTest, LaunchesDuringFocusAreAnnouncedOnceEachAndOnlyForRegularForeignApps) {
    workspace.add(FakeWorkspace::regular(30, "Game", "org.game"));
    workspace.add(FakeWorkspace::regular(31, "Music", "org.music"));
    start();
    std::vector<std::int32_t> announced;
    auto token = appManager->newAppLaunchedDuringFocus().subscribe([&](const std::int32_t& pid) {
        announced.push_back(pid);
    });

    workspace.launch(FakeWorkspace::regular(32, "Before", "org.before"));  // focus mode off
    settle();
    focusNow(30);
    workspace.launch(FakeWorkspace::regular(33, "Viewer", "org.viewer"));
    workspace.launch(FakeWorkspace::withPolicy(FakeWorkspace::regular(34, "Daemon"), ActivationPolicy::accessory));
    workspace.launch(FakeWorkspace::regular(35, "Korvane", "com.korvane.app"));
    workspace.launch(FakeWorkspace::regular(36, std::nullopt, "org.unnamed"));
    settle();

    // Unnamed applications are not listed but are still announced: a window
    // without a name is throttled all the same.
    EXPECT_THAT(announced, ElementsAre(33, 36));
    // Nobody throttles the newcomer here; the lists still show it on the E-cores.
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 32 31 ]"));
    EXPECT_THAT(idsOf(appManager->eCoreApps.get()), ElementsAre(32, 31, 33));
}

}  // namespace
}  // namespace korvane::app
