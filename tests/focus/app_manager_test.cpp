// Running applications and manual focus mode.
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using testing::FakeWorkspace;
using testing::idsOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AppManagerTest : public testing::FocusWorld {
protected:
    void chooseAndFocus(std::int32_t pid) {
        for (auto& a : appManager->runningApps.get()) {
            if (a.id == pid) appManager->focusApp = a;
        }
        spawn(loop, [this]() -> Async<> { co_await appManager->activateFocusMode(*xpc); });
        settle();
    }
};

TEST_F(AppManagerTest, ListsRegularNamedForeignAppsInStableLocaleOrderAndCountsEveryRegularOne) {
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
    start();

    // Names equal but for case keep the desktop's order; É sorts with E.
    EXPECT_THAT(idsOf(appManager->runningApps.get()), ElementsAre(3, 5, 9, 7, 2));
}

TEST(AppOrderTest, AccentedNamesFollowTheLanguageOfTheLocale) {
    VirtualMainLoop loop;
    FakeWorkspace workspace(loop);
    workspace.add(FakeWorkspace::regular(1, "Zebra"));
    workspace.add(FakeWorkspace::regular(2, "Ärlig"));
    workspace.add(FakeWorkspace::regular(3, "Apa"));
    log::CapturedLines quiet;
    AppManager english({.mainLoop = loop, .workspace = workspace, .ownBundleID = {}, .collationLocale = "en_US.UTF-8"});
    AppManager swedish({.mainLoop = loop, .workspace = workspace, .ownBundleID = {}, .collationLocale = "sv_SE.UTF-8"});
    EXPECT_THAT(idsOf(english.runningApps.get()), ElementsAre(3, 2, 1));
    EXPECT_THAT(idsOf(swedish.runningApps.get()), ElementsAre(3, 1, 2));
}

TEST_F(AppManagerTest, FocusNowWithNothingElseListedSendsNothingAndStaysOff) {
    workspace.add(FakeWorkspace::regular(10, "Editor", "org.editor"));
    workspace.add(FakeWorkspace::regular(11, "Korvane", "com.korvane.app"));
    start();
    chooseAndFocus(10);
    EXPECT_THAT(daemon.commands(), IsEmpty());
    EXPECT_FALSE(appManager->isFocusModeActive.get());
}

TEST_F(AppManagerTest, FocusThrottlesTheOthersAndSurvivesTheFocusAppQuittingUntilReleased) {
    workspace.add(FakeWorkspace::regular(20, "Mail", "org.mail"));
    workspace.add(FakeWorkspace::regular(21, "Browser", "org.browser"));
    workspace.add(FakeWorkspace::regular(22, "Chat", "org.chat"));
    start();
    chooseAndFocus(22);

    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 21 20 ]"));
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_THAT(idsOf(appManager->pCoreApps.get()), ElementsAre(22));
    EXPECT_THAT(idsOf(appManager->eCoreApps.get()), ElementsAre(21, 20));

    // Releasing keeps the selection.
    spawn(loop, [this]() -> Async<> { co_await appManager->runFocusReleaseSequence(*xpc); });
    settle();
    EXPECT_FALSE(appManager->isFocusModeActive.get());
    EXPECT_EQ(appManager->focusApp.get()->id, 22);
    EXPECT_EQ(appManager->pCoreApps.get(), appManager->runningApps.get());

    // Focus again, then the focus application quits: the selection goes, the
    // mode stays on, every application shows on the P-cores.
    chooseAndFocus(22);
    workspace.terminate(22);
    settle();
    EXPECT_EQ(appManager->focusApp.get(), std::nullopt);
    EXPECT_TRUE(appManager->isFocusModeActive.get());
    EXPECT_THAT(idsOf(appManager->pCoreApps.get()), ElementsAre(21, 20));
    EXPECT_THAT(appManager->eCoreApps.get(), IsEmpty());
    EXPECT_EQ(xpc->throttledPIDs.get(), (std::set<std::int32_t>{20, 21}));
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
    chooseAndFocus(30);
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
