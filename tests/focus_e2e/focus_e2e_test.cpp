// Auto-Focus and Auto-Trigger on a real desktop of each family: the desktop
// brings windows to the front, the workspace Korvane opens there tells the
// managers, and the helper as built confines the other applications'
// processes to CPU 1, the fixture's only efficiency core. What counts is
// what /proc says. The managers' own rules are the unit tests'
// (tests/focus); these prove the chain on real desktops, with real timing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>

#include "shared/log/log.h"
#include "tests/desktops/x11_session.h"
#include "tests/fakes/target_process.h"
#include "tests/focus_e2e/focus_desktop.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::DesktopApp;
using testing::DesktopFamily;
using testing::allowedCPUs;
using testing::familyName;
using testing::waitUntil;

class FocusOnADesktop : public ::testing::TestWithParam<testing::DesktopFamily> {
protected:
    void SetUp() override {
        std::string why;
        desktop = testing::FocusDesktop::start(GetParam(), why);
        ASSERT_TRUE(desktop) << why;
        machine = testing::machineCPUs();
        ASSERT_NE(machine, "1") << "these checks need a machine with more than CPU 1";
        ASSERT_TRUE(desktop->activate(desktop->browser));
        // Each application listed by its process and desktop ID.
        auto listed = desktop->loop.call([&] { return desktop->appManager().runningApps.get(); });
        std::map<std::int32_t, std::pair<std::string, std::optional<std::string>>> byPid, expected;
        for (const auto& app : listed) byPid[app.id] = {app.name, app.bundleIdentifier};
        for (const DesktopApp* app : {&desktop->editor, &desktop->game, &desktop->browser}) {
            expected[app->pid()] = {app->name, app->bundleID};
        }
        ASSERT_EQ(byPid, expected);
    }
    void TearDown() override {
        if (!desktop) return;
        stopFollowing();
        if (HasFailure()) std::fprintf(stderr, "helper log:\n%s\n", desktop->helperLog().c_str());
    }

    // Every thread of it (the Qt program has several) on CPU 1, or on all.
    bool confined(const DesktopApp& app) const { return testing::onlyOn(app.pid(), "1"); }
    bool unconfined(const DesktopApp& app) const { return testing::onlyOn(app.pid(), machine); }
    // Whether Auto-Focus is `engaged`, with the game and the browser confined
    // while it is and free while it is not.
    bool focused(bool engaged) {
        auto& d = *desktop;
        return d.autoFocusActive() == engaged && (engaged ? confined(d.game) && confined(d.browser)
                                                          : unconfined(d.game) && unconfined(d.browser));
    }
    std::string cpus() const {
        return "editor " + allowedCPUs(desktop->editor.pid()) + ", game " + allowedCPUs(desktop->game.pid()) +
               ", browser " + allowedCPUs(desktop->browser.pid());
    }
    // When the workspace announces `first` in front, `then` is brought to
    // the front straight away, from the loop, before the managers react.
    void followAtOnce(const DesktopApp& first, const DesktopApp& then) {
        stopFollowing();
        follower = desktop->loop.call([this, firstPID = first.pid(), next = &then] {
            return std::make_shared<app::Subscription>(
                desktop->workspace().observeActivation([this, firstPID, next](const app::RunningApplication& app) {
                    if (app.processIdentifier == firstPID) {
                        EXPECT_TRUE(desktop->setActiveWindow(*next));
                    } else if (app.processIdentifier == next->pid()) {
                        followedAt = std::chrono::steady_clock::now().time_since_epoch().count();
                    }
                }));
        });
    }
    // The subscription ends on the loop, where it is used.
    void stopFollowing() {
        if (follower) desktop->loop.call([&] { follower.reset(); });
    }

    log::CapturedLines logLines;
    std::unique_ptr<testing::FocusDesktop> desktop;
    std::string machine;
    std::shared_ptr<app::Subscription> follower;
    // When the workspace announced the application brought forward at once.
    std::atomic<std::chrono::steady_clock::rep> followedAt{0};
};

// The front changes again while the helper is still answering the change
// before: the second change is the one that must hold once all is answered.
// The second change is made the moment the workspace announces the first,
// long before the helper can have answered. Then nothing in front (an empty
// workspace, all minimised), lasting beyond a blink, releases Auto-Focus.
TEST_P(FocusOnADesktop, AChangeOfFrontWhileTheHelperAnswersIsNotLostAndNothingInFrontReleases) {
    auto [editor, browser] = std::tie(desktop->editor, desktop->browser);
    desktop->enableAutoFocus(editor);

    // A target and at once a non-target: once focus engaged it is released
    // again, and nothing stays confined.
    followAtOnce(editor, browser);
    ASSERT_TRUE(desktop->setActiveWindow(editor));
    EXPECT_TRUE(waitUntil([&] {
        return logLines.contains("Korvane: Auto-Focus serbest bırakıldı — Browser") && focused(false);
    }, 3s)) << cpus();

    // Engaged, then a non-target and at once the target back: focus is
    // released and engaged again.
    stopFollowing();
    ASSERT_TRUE(desktop->setActiveWindow(editor));
    ASSERT_TRUE(waitUntil([&] { return focused(true); })) << cpus();
    followAtOnce(browser, editor);
    ASSERT_TRUE(desktop->setActiveWindow(browser));
    EXPECT_TRUE(waitUntil([&] {
        return logLines.countStartingWith("Korvane: Auto-Focus serbest bırakıldı — Browser") == 2 && focused(true);
    }, 3s)) << cpus();
    EXPECT_TRUE(unconfined(editor));

    if (const char* path = std::getenv("KORVANE_FOCUS_E2E_SCREENSHOT")) {
        EXPECT_TRUE(desktop->session().screenshot(std::string(path) + "." + familyName(GetParam()) + ".png"));
    }
    // KWin brings each window forward in turn as the others are minimised:
    // a follower still armed would bring the target back.
    stopFollowing();
    ASSERT_TRUE(desktop->session().showNothing());
    EXPECT_TRUE(waitUntil([&] { return focused(false); })) << cpus();
}

// Beast Mode confines every other application while the trigger is in front
// and ends 5 s after it left, even when it left before the helper answered.
TEST_P(FocusOnADesktop, ATriggerLeftBeforeTheHelperAnswersEndsBeastModeFiveSecondsLater) {
    auto [editor, game, browser] = std::tie(desktop->editor, desktop->game, desktop->browser);
    desktop->enableAutoTrigger(game);
    followAtOnce(game, editor);
    ASSERT_TRUE(desktop->setActiveWindow(game));
    ASSERT_TRUE(waitUntil([&] { return desktop->beastModeActive() && confined(editor) && confined(browser); }))
        << cpus();
    EXPECT_TRUE(unconfined(game));
    ASSERT_TRUE(waitUntil([&] { return unconfined(editor) && unconfined(browser); }, 10s)) << cpus();
    // From the moment the workspace announced that the trigger left.
    const std::chrono::steady_clock::time_point left{std::chrono::steady_clock::duration(followedAt.load())};
    const auto released = std::chrono::steady_clock::now() - left;
    EXPECT_GE(released, 5s);
    EXPECT_LT(released, 7s);
    EXPECT_TRUE(waitUntil([&] { return !desktop->beastModeActive(); }));
}

// The desktop itself (the window manager, the tray host) keeps every CPU
// while Beast Mode confines every other application the helper can name.
using FocusOnX11 = FocusOnADesktop;

TEST_P(FocusOnX11, BeastModeNeverConfinesTheDesktopItself) {
    auto tray = desktop->startTrayHost();
    ASSERT_TRUE(tray) << "trayer did not start";
    const pid_t windowManager = static_cast<testing::XSession&>(desktop->session()).windowManagerPid();
    desktop->enableAutoTrigger(desktop->game);
    ASSERT_TRUE(desktop->activate(desktop->game));
    ASSERT_TRUE(waitUntil([&] { return desktop->beastModeActive() && confined(desktop->editor); })) << cpus();
    EXPECT_EQ(allowedCPUs(windowManager), machine);
    EXPECT_EQ(allowedCPUs(*tray), machine);
    const std::string log = desktop->helperLog();
    EXPECT_NE(log.find("openbox → PID " + std::to_string(windowManager)), std::string::npos) << log;
    EXPECT_NE(log.find("trayer → PID " + std::to_string(*tray)), std::string::npos) << log;
}

std::string nameOf(const ::testing::TestParamInfo<DesktopFamily>& info) { return familyName(info.param); }

INSTANTIATE_TEST_SUITE_P(Desktops, FocusOnADesktop,
                         ::testing::Values(DesktopFamily::x11, DesktopFamily::sway, DesktopFamily::kwin,
                                           DesktopFamily::gnome),
                         nameOf);
INSTANTIATE_TEST_SUITE_P(Desktops, FocusOnX11, ::testing::Values(DesktopFamily::x11), nameOf);

}  // namespace
}  // namespace korvane
