// Auto-Focus and Auto-Trigger on a real desktop: xdotool brings windows to
// the front through openbox, the X11 workspace tells the managers, and the
// helper as built confines the other applications' processes to CPU 1, the
// fixture's only efficiency core. What counts is what /proc says.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <tuple>

#include "shared/log/log.h"
#include "tests/fakes/target_process.h"
#include "tests/focus_e2e/focus_desktop.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::DesktopApp;
using testing::allowedCPUs;

class FocusOnADesktop : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        desktop = testing::FocusDesktop::start(why);
        ASSERT_TRUE(desktop) << why;
        machine = testing::machineCPUs();
        ASSERT_NE(machine, "1") << "these checks need a machine with more than CPU 1";
        ASSERT_TRUE(desktop->activate(desktop->browser));
    }
    void TearDown() override {
        if (!desktop) return;
        stopFollowing();
        if (HasFailure()) std::fprintf(stderr, "helper log:\n%s\n", desktop->helperLog().c_str());
    }

    std::tuple<DesktopApp&, DesktopApp&, DesktopApp&> apps() {
        return {desktop->editor, desktop->game, desktop->browser};
    }
    bool confined(const DesktopApp& app) const { return allowedCPUs(app.pid()) == "1"; }
    bool unconfined(const DesktopApp& app) const { return allowedCPUs(app.pid()) == machine; }
    template <class F>
    auto onLoop(F work) {
        return desktop->loop.call(std::move(work));
    }
    bool autoFocusActive() {
        return onLoop([&] { return desktop->autoFocus().autoFocusActive.get(); });
    }
    bool beastModeActive() {
        return onLoop([&] { return desktop->autoTrigger().isBeastModeActive.get(); });
    }
    void enableAutoFocus(const DesktopApp& target) {
        onLoop([&] {
            desktop->autoFocus().addTarget(target.name, target.bundleID);
            desktop->autoFocus().isEnabled = true;
        });
    }
    void enableAutoTrigger(const DesktopApp& trigger) {
        onLoop([&] {
            desktop->autoTrigger().addApp(trigger.name, trigger.bundleID);
            desktop->autoTrigger().isEnabled = true;
        });
    }
    // When the workspace announces `first` in front, `then` is brought to
    // the front straight away, from the loop, before the managers react.
    void followAtOnce(const DesktopApp& first, const DesktopApp& then) {
        stopFollowing();
        follower = onLoop([this, firstPID = first.pid(), next = &then] {
            return std::make_shared<app::Subscription>(
                desktop->workspace().observeActivation([this, firstPID, next](const app::RunningApplication& app) {
                    if (app.processIdentifier == firstPID) {
                        EXPECT_TRUE(desktop->setActiveWindow(*next));
                    }
                }));
        });
    }
    // The subscription ends on the loop, where it is used.
    void stopFollowing() {
        if (follower) onLoop([&] { follower.reset(); });
    }
    void screenshot(const char* variable) {
        if (const char* path = std::getenv(variable)) {
            EXPECT_TRUE(desktop->session().screenshot(path));
        }
    }

    log::CapturedLines logLines;
    std::unique_ptr<testing::FocusDesktop> desktop;
    std::string machine;
    std::shared_ptr<app::Subscription> follower;
};

TEST_F(FocusOnADesktop, AutoFocusConfinesTheOtherApplicationsWhileATargetIsInFrontAndReleasesThem) {
    auto [editor, game, browser] = apps();
    enableAutoFocus(editor);
    // A non-target in front when switching on engages nothing.
    ASSERT_TRUE(desktop->activate(game));
    EXPECT_FALSE(autoFocusActive());
    EXPECT_TRUE(unconfined(game) && unconfined(browser));

    ASSERT_TRUE(desktop->activate(editor));
    ASSERT_TRUE(testing::waitUntil([&] { return autoFocusActive() && confined(game) && confined(browser); }))
        << "game " << allowedCPUs(game.pid()) << ", browser " << allowedCPUs(browser.pid());
    EXPECT_TRUE(unconfined(editor));
    auto [focusPID, focusModeOn] = onLoop([&] {
        auto& apps = desktop->appManager();
        return std::pair(apps.focusApp->has_value() ? apps.focusApp.get()->id : 0, apps.isFocusModeActive.get());
    });
    EXPECT_EQ(focusPID, editor.pid());
    EXPECT_TRUE(focusModeOn);
    EXPECT_TRUE(logLines.contains("Korvane: Auto-Focus tetiklendi — Editor"));
    desktop->notificationCenter().joinAll();
    auto requests = desktop->notificationCenter().requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, "Focus Mode: Editor");
    screenshot("KORVANE_FOCUS_E2E_SCREENSHOT");

    ASSERT_TRUE(desktop->activate(browser));
    ASSERT_TRUE(testing::waitUntil([&] { return !autoFocusActive() && unconfined(game) && unconfined(browser); }))
        << "game " << allowedCPUs(game.pid()) << ", browser " << allowedCPUs(browser.pid());
    EXPECT_TRUE(unconfined(editor));
    EXPECT_FALSE(onLoop([&] { return desktop->appManager().isFocusModeActive.get(); }));
    EXPECT_TRUE(logLines.contains("Korvane: Auto-Focus serbest bırakıldı — Browser"));

    // Back to the target: engaged again, with the same processes.
    ASSERT_TRUE(desktop->activate(editor));
    EXPECT_TRUE(testing::waitUntil([&] { return autoFocusActive() && confined(game) && confined(browser); }));
}

TEST_F(FocusOnADesktop, AutoTriggerConfinesEveryOtherApplicationAndReleasesFiveSecondsAfterTheTriggerLeaves) {
    auto [editor, game, browser] = apps();
    enableAutoTrigger(game);
    EXPECT_FALSE(beastModeActive());

    ASSERT_TRUE(desktop->activate(game));
    ASSERT_TRUE(testing::waitUntil([&] { return beastModeActive() && confined(editor) && confined(browser); }))
        << "editor " << allowedCPUs(editor.pid()) << ", browser " << allowedCPUs(browser.pid());
    EXPECT_TRUE(unconfined(game));
    EXPECT_TRUE(logLines.contains("Korvane: Auto-Trigger — Beast Mode ACTIVATED for Game"));

    // The trigger leaves: everything stays confined until the delay is over,
    // then the helper releases it all.
    const auto left = std::chrono::steady_clock::now();
    ASSERT_TRUE(desktop->activate(browser));
    EXPECT_TRUE(testing::waitUntil([&] { return onLoop([&] { return desktop->autoTrigger().deactivationPending(); }); }));
    ASSERT_TRUE(testing::waitUntil([&] { return unconfined(editor) && unconfined(browser); }, 10s))
        << "editor " << allowedCPUs(editor.pid()) << ", browser " << allowedCPUs(browser.pid());
    const auto released = std::chrono::steady_clock::now() - left;
    EXPECT_GE(released, 5s);
    EXPECT_LT(released, 7s);
    EXPECT_TRUE(testing::waitUntil([&] { return !beastModeActive(); }));
    EXPECT_TRUE(unconfined(game));
}

// The front changes again while the helper is still answering the change
// before: the second change is the one that must hold once all is answered.
// The second change is made the moment the workspace announces the first,
// long before the helper can have answered.
TEST_F(FocusOnADesktop, AChangeOfFrontWhileTheHelperAnswersIsNotLost) {
    auto [editor, game, browser] = apps();
    enableAutoFocus(editor);

    // A target and at once a non-target: once focus engaged it is released
    // again, and nothing stays confined.
    followAtOnce(editor, browser);
    ASSERT_TRUE(desktop->setActiveWindow(editor));
    EXPECT_TRUE(testing::waitUntil([&] {
        return logLines.contains("Korvane: Auto-Focus serbest bırakıldı — Browser") && !autoFocusActive() &&
               unconfined(game) && unconfined(browser);
    }, 3s)) << "game " << allowedCPUs(game.pid()) << ", browser " << allowedCPUs(browser.pid());

    // Engaged, then a non-target and at once the target back: focus is
    // released and engaged again.
    stopFollowing();
    ASSERT_TRUE(desktop->setActiveWindow(editor));
    ASSERT_TRUE(testing::waitUntil([&] { return autoFocusActive() && confined(browser); }));
    followAtOnce(browser, editor);
    ASSERT_TRUE(desktop->setActiveWindow(browser));
    EXPECT_TRUE(testing::waitUntil([&] {
        return logLines.countStartingWith("Korvane: Auto-Focus serbest bırakıldı — Browser") == 2 &&
               autoFocusActive() && confined(game) && confined(browser);
    }, 3s)) << "game " << allowedCPUs(game.pid()) << ", browser " << allowedCPUs(browser.pid());
    EXPECT_TRUE(unconfined(editor));
}

TEST_F(FocusOnADesktop, ATriggerLeftBeforeTheHelperAnswersStillEndsBeastMode) {
    auto [editor, game, browser] = apps();
    enableAutoTrigger(game);
    followAtOnce(game, editor);
    const auto left = std::chrono::steady_clock::now();
    ASSERT_TRUE(desktop->setActiveWindow(game));
    ASSERT_TRUE(testing::waitUntil([&] { return beastModeActive(); }));
    ASSERT_TRUE(testing::waitUntil([&] { return !beastModeActive() && unconfined(editor); }, 10s))
        << "editor " << allowedCPUs(editor.pid());
    EXPECT_GE(std::chrono::steady_clock::now() - left, 5s);
}

// The desktop itself (the window manager, the tray host) keeps every CPU
// while Beast Mode confines every other application the helper can name.
TEST_F(FocusOnADesktop, BeastModeNeverConfinesTheDesktopItself) {
    auto [editor, game, browser] = apps();
    auto tray = desktop->startTrayHost();
    ASSERT_TRUE(tray) << "trayer did not start";
    const pid_t windowManager = desktop->session().windowManagerPid();
    enableAutoTrigger(game);
    ASSERT_TRUE(desktop->activate(game));
    ASSERT_TRUE(testing::waitUntil([&] { return beastModeActive() && confined(editor) && confined(browser); }))
        << "editor " << allowedCPUs(editor.pid()) << ", browser " << allowedCPUs(browser.pid());
    EXPECT_EQ(allowedCPUs(windowManager), machine);
    EXPECT_EQ(allowedCPUs(*tray), machine);
    const std::string log = desktop->helperLog();
    EXPECT_NE(log.find("openbox → PID " + std::to_string(windowManager)), std::string::npos) << log;
    EXPECT_NE(log.find("trayer → PID " + std::to_string(*tray)), std::string::npos) << log;
}

}  // namespace
}  // namespace korvane
