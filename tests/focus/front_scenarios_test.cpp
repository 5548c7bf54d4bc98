// Auto-Focus and Auto-Trigger following the front-most application, one
// scenario per row: a script of what the user and the desktop do, with
// checks along the way, and the helper calls it must have made. A slow
// helper is a held answer: "[" holds the next call's answer, "|" waits until
// it is held, "]" lets it through.
//   F+ F-  Auto-Focus on, off          T+ T-  Auto-Trigger on, off
//   @App   App comes to the front      0      nothing in front
//   x:App  App quits                   +S     S seconds pass
//   now:App  Focus Now on App          AF!    Auto-Focus holds focus (set directly)
//   down   the helper stops            up     it comes back and is reconnected
//   quit   Korvane quits (the release it runs first)
//   ?off ?focus ?beast ?manual (":App" also checks the focus application)
//   ?pending ?!pending (Beast Mode's end awaited) ?moving (Auto-Focus awaits the helper)
// The log lines are checked in focus_log_test.cpp.
#include <sstream>

#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using testing::FakeWorkspace;
using testing::FrontWorld;
using ::testing::IsEmpty;
using testing::kApps;

struct Scenario {
    const char* what;
    const char* script;
    std::vector<std::string> helperCalls;
};
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.what << ": \"" << scenario.script << '"'; }

class FrontScenario : public FrontWorld, public ::testing::WithParamInterface<Scenario> {
protected:
    void run(const Scenario& scenario) {
        start();
        std::istringstream words(scenario.script);
        bool holding = false;
        for (std::string word; words >> word;) {
            SCOPED_TRACE(word);
            if (word == "[") {
                connector.hold();
                holding = true;
                continue;
            }
            if (word == "|") {
                ASSERT_TRUE(connector.waitHeld(1));
                continue;
            }
            if (word == "]") {
                connector.release();
                holding = false;
            } else if (word[0] == '?') {
                check(word.substr(1));
                continue;
            } else if (word[0] == '@') {
                workspace.activate(kApps.at(word.substr(1)));
            } else if (word.starts_with("x:")) {
                workspace.terminate(kApps.at(word.substr(2)));
            } else if (word[0] == '+') {
                loop.advanceBy(std::chrono::duration_cast<Duration>(seconds(std::stod(word.substr(1)))));
            } else if (word == "0") {
                workspace.clearFront();
            } else if (word.starts_with("now:")) {
                focusNow(kApps.at(word.substr(4)));
            } else if (word == "down") {
                served.stop();
            } else if (word == "up") {
                served.restart();
                ASSERT_TRUE(advanceUntil([&] { return xpc->helperActive.get(); }));
            } else if (word == "quit") {
                QuitRelease quitting(loop);
                bool quit = false;
                quitting.start(*appManager, *xpc, [&] { quit = true; }, autoTrigger.get());
                settle();
                EXPECT_TRUE(quit);
            } else if (word == "AF!") {
                autoFocus->autoFocusActive = true;
            } else if (word[0] == 'F' || word[0] == 'T') {
                (word[0] == 'F' ? autoFocus->isEnabled : autoTrigger->isEnabled) = word[1] == '+';
            } else {
                FAIL() << "no such word";
            }
            if (holding) {
                loop.runPending();
            } else {
                settle();
            }
        }
        EXPECT_EQ(daemon.commands(), scenario.helperCalls);
    }

    void check(const std::string& what) {
        const auto colon = what.find(':');
        const std::string state = what.substr(0, colon);
        const auto focusApp = appManager->focusApp.get();
        if (colon != std::string::npos) {
            ASSERT_TRUE(focusApp);
            EXPECT_EQ(focusApp->id, kApps.at(what.substr(colon + 1)));
        }
        if (state == "pending" || state == "!pending") {
            EXPECT_EQ(autoTrigger->deactivationPending(), state == "pending");
        } else if (state == "moving") {
            EXPECT_TRUE(autoFocus->isTransitioning());
        } else {
            EXPECT_EQ(autoFocus->autoFocusActive.get(), state == "focus");
            EXPECT_EQ(autoTrigger->isBeastModeActive.get(), state == "beast");
            EXPECT_EQ(appManager->isFocusModeActive.get(), state != "off");
            if (state == "off") {
                EXPECT_TRUE(xpc->throttledPIDs->empty());
            }
            const auto icon = autoFocus->focusedAppIcon.get();
            EXPECT_EQ(icon.has_value(), state == "focus");
            if (icon && focusApp) {
                EXPECT_EQ(icon->themeNameOrPath, focusApp->name);
            }
        }
    }
};

const std::string kFocusEditor = "throttleMultiple [ 42 50 41 51 54 ]";
const std::vector<std::string> kEditorReleased{kFocusEditor, "unthrottle 41", "unthrottle 42", "unthrottle 50",
                                               "unthrottle 51", "unthrottle 54"};
std::vector<std::string> releasedThen(const std::string& next) {
    auto calls = kEditorReleased;
    calls.push_back(next);
    return calls;
}
const std::vector<std::string> kBeastOnOff{"beast on 50", "beast off 0"};

const Scenario kScenarios[] = {
    // Auto-Focus
    {"switched on with a target in front engages at once", "@Editor F+ ?focus:Editor", {kFocusEditor}},
    {"manual focus: a target and then a non-target in front change nothing",
     "now:Browser F+ @Editor @Browser ?manual:Browser", {"throttleMultiple [ 40 50 41 51 54 ]"}},
    {"a second target waits for a non-target's release; our own windows change nothing",
     "F+ @Editor @IDE @Own ?focus:Editor @Browser ?off @IDE ?focus:IDE",
     releasedThen("throttleMultiple [ 42 40 50 51 54 ]")},
    {"switched off while engaged releases and stops following", "F+ @Editor F- ?off @IDE ?off", kEditorReleased},
    {"switched off while the engagement awaits the helper still releases", "@Editor [ F+ | ?moving F- ] ?off",
     kEditorReleased},
    {"switched back on while the switch-off release awaits the helper engages the target in front",
     "F+ @Editor [ F- | F+ ] ?focus:Editor", releasedThen(kFocusEditor)},
    {"nothing in front for a blink is nothing; for longer it releases",
     "F+ @Editor 0 +0.299 @Editor +1 ?focus:Editor 0 +0.3 ?off", kEditorReleased},
    // Auto-Trigger
    {"switched on with a trigger in front starts Beast Mode at once", "@Game T+ ?beast:Game", {"beast on 50"}},
    {"Beast Mode ends exactly 5 s after the last non-trigger came forward, unless a trigger comes back",
     "@Game T+ @Browser ?pending +4.9 @Game ?!pending +30 ?beast:Game @Browser +3 @Tool +4.999 ?beast:Game "
     "+0.001 ?off:Game",
     kBeastOnOff},
    {"with two triggers, quitting one while the other is in front keeps Beast Mode",
     "@Game T+ @Render x:Game +30 ?beast x:Render +5 ?off", kBeastOnOff},
    {"nothing in front for longer than a blink starts the wait", "@Game T+ 0 +0.3 ?pending +5 ?off", kBeastOnOff},
    {"switched off while on ends Beast Mode once and stops following", "@Game T+ @Browser T- +30 @Game ?off",
     kBeastOnOff},
    {"switched off while the activation awaits the helper still ends Beast Mode", "@Game [ T+ | T- ] ?off",
     kBeastOnOff},
    {"a trigger back in front while the deactivation awaits the helper starts Beast Mode again",
     "@Game T+ @Browser [ +5 | @Game ] ?beast:Game", {"beast on 50", "beast off 0", "beast on 50"}},
    {"Auto-Trigger stands aside while Auto-Focus holds focus", "AF! @Game T+", {}},
    // Quit and Release Focus share the release: afterwards nothing says Beast
    // Mode is on, and the trigger still in front does not start it again.
    {"quitting during Beast Mode ends it first", "@Game T+ quit +30 ?off", kBeastOnOff},
    // An engagement or a deactivation the helper never carried out did not
    // happen; the helper's return makes it.
    {"an engagement while the helper is away fails and is made when it returns", "F+ down @Editor ?off up ?focus:Editor",
     {kFocusEditor}},
    {"a deactivation while the helper is away fails and is repeated when it returns",
     "@Game T+ @Browser down +5 ?beast:Game up ?off", kBeastOnOff},
    // Both, and each standing aside for the other
    {"Auto-Focus stands aside for Beast Mode and engages once it ends",
     "T+ F+ @Game @Editor ?beast:Game +5 ?focus:Editor", {"beast on 50", "beast off 0", kFocusEditor}},
    {"a trigger in front of an engagement in flight gets Beast Mode once Auto-Focus lets go",
     "F+ T+ [ @Editor | @Game ] ?beast:Game", releasedThen("beast on 50")},
    {"a trigger in front of a release in flight gets Beast Mode once Auto-Focus let go",
     "F+ T+ @Editor [ @Browser | @Game ] ?beast:Game", releasedThen("beast on 50")},
    {"a target in front of a Beast Mode activation in flight engages once Beast Mode ends",
     "F+ T+ [ @Game | @Editor ] ?beast:Game +5 ?focus:Editor", {"beast on 50", "beast off 0", kFocusEditor}},
};

TEST_P(FrontScenario, FollowsTheFront) { run(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Scenarios, FrontScenario, ::testing::ValuesIn(kScenarios));

TEST_F(FrontWorld, SwitchesAreStoredAndBeastModeMarksTheTriggerFocusedAndAnnouncesIt) {
    settings.setBool(NotificationManager::kEnabledKey, true);
    workspace.setFront(kApps.at("Game"));
    start();
    autoTrigger->isEnabled = true;
    autoFocus->isEnabled = true;
    settle();
    EXPECT_TRUE(settings.boolValue(AutoTriggerManager::kEnabledKey));
    EXPECT_TRUE(settings.boolValue(AutoFocusManager::kEnabledKey));
    EXPECT_THAT(testing::idsOf(appManager->pCoreApps.get()), ElementsAre(kApps.at("Game")));
    center.joinAll();
    EXPECT_EQ(center.requests().size(), 1u);
}

TEST_F(FrontWorld, AStoredSwitchEngagesAtStartUpOnTheFirstListedOfTwoInstancesAndThrottlesTheOther) {
    settings.setBool(AutoFocusManager::kEnabledKey, true);
    workspace.add(FakeWorkspace::regular(44, "Editor", "org.Editor"));
    workspace.setFront(44);
    start();
    EXPECT_EQ(appManager->focusApp.get()->id, kApps.at("Editor"));
    EXPECT_THAT(daemon.commands(), ElementsAre("throttleMultiple [ 42 44 50 41 51 54 ]"));
}

// The editing rules are shared by both lists; the target list is checked for
// its stored form and exact matching, the trigger list for the rest.
TEST_F(FrontWorld, ListEditsAreStoredAndIdentifiersMatchExactly) {
    start();
    autoFocus->addTarget("Browser", "org.Browser");
    autoFocus->removeTargetByID("org.IDE");
    EXPECT_EQ(settings.dataValue(AutoFocusManager::kTargetsKey),
              R"([{"bundleIdentifier":"org.Editor","name":"Editor"},{"bundleIdentifier":"org.Browser","name":"Browser"}])");
    EXPECT_TRUE(autoFocus->isTarget(std::string("org.Browser")));
    EXPECT_FALSE(autoFocus->isTarget(std::string("ORG.BROWSER")));
    EXPECT_FALSE(autoFocus->isTarget(std::nullopt));

    autoTrigger->addApp("Another name", "org.Game");
    autoTrigger->addApp("Empty", "");
    autoTrigger->addApp("Tool", "org.Tool");
    autoTrigger->addApp("Browser", "org.Browser");
    autoTrigger->removeApp({0, 2});
    autoTrigger->removeAppByID("org.Browser");
    EXPECT_EQ(autoTrigger->triggerApps.get(), (std::vector<AutoTriggerApp>{{"Render", "org.Render"}}));
    EXPECT_EQ(settings.dataValue(AutoTriggerManager::kAppsKey), R"([{"bundleIdentifier":"org.Render","name":"Render"}])");
}

// A stored switch does not observe before the wiring; a list that cannot be
// read is left as it is.
TEST_F(FrontWorld, AutoTriggerFollowsTheFrontOnlyOnceWiredAndKeepsAnUnreadableList) {
    start();
    const std::string unreadable = R"([{"name":"Game","bundleIdentifier":7}])";
    settings.setData(AutoTriggerManager::kAppsKey, unreadable);
    settings.setBool(AutoTriggerManager::kEnabledKey, true);
    workspace.setFront(kApps.at("Game"));
    AutoTriggerManager fresh({.mainLoop = loop, .workspace = workspace, .settings = settings});
    EXPECT_TRUE(fresh.triggerApps->empty());
    EXPECT_EQ(settings.dataValue(AutoTriggerManager::kAppsKey), unreadable);
    fresh.addApp("Game", "org.Game");
    settle();
    EXPECT_THAT(daemon.commands(), IsEmpty());
    fresh.configure({xpc, appManager, notifications, autoFocus});
    settle();
    EXPECT_THAT(daemon.commands(), ElementsAre("beast on 50"));
}

}  // namespace
}  // namespace korvane::app
