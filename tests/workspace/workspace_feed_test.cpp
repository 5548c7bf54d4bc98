#include <gtest/gtest.h>

#include "platform/linux/workspace/published_workspace.h"
#include "platform/linux/workspace/window_report.h"
#include "platform/linux/workspace/window_tracker.h"
#include "platform/linux/workspace/workspace_choice.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::linux_platform {
namespace {

using namespace std::chrono_literals;

TEST(WindowReports, AreBelievedOnlyWithinTheirBoundsAndShape) {
    auto report = parseWindowReport(
        R"({"windows":[{"id":"a","pid":12,"appId":"org.example.Editor","class":"","instance":"",)"
        R"("kind":"other","skipTaskbar":true}],"active":""})");
    ASSERT_TRUE(report) << report.error();
    ASSERT_EQ(report.value().windows->size(), 1u);
    EXPECT_EQ(report.value().windows->front(),
              (ReportedWindow{"a", 12, "org.example.Editor", "", "", WindowKind::other, true}));
    EXPECT_EQ(report.value().active, "");
    EXPECT_EQ(parseWindowReport(R"({"active":"a"})").value().windows, std::nullopt);
    auto longClass = parseWindowReport(R"({"windows":[{"id":"a","pid":1,"class":")" + std::string(600, 'c') + "\"}]}");
    ASSERT_TRUE(longClass);
    EXPECT_EQ(longClass.value().windows->front().className, "");
    // A process the compositor does not know makes no application, and
    // hides no other window.
    EXPECT_EQ(parseWindowReport(R"({"windows":[{"id":"a","pid":-1}]})").value().windows->front().pid, 0);

    const ReportLimits small{.messageBytes = 300, .windows = 2, .textBytes = 8};
    const std::string window = R"({"id":"a","pid":1,"appId":"x","class":"c","instance":"i"})";
    for (const std::string& refused : {
             std::string("{\"windows\": [") + window + "," + window + "," + window + "]}",  // too many
             std::string(R"({"active":"a123456789"})"),                                   // too long
             R"({"active":")" + std::string(300, 'a') + "\"}",                             // too large
             std::string(R"({"windows":[{"id":"a","pid":4294967296}]})"),
             std::string(R"({"windows":[{"id":"a","pid":"12"}]})"),
             std::string(R"({"windows":[{"pid":12}]})"),
             std::string(R"({"windows":[{"id":"a","pid":1,"kind":"dock"}]})"),
             std::string(R"({"windows":{"id":"a"}})"),
             std::string(R"({"active":7})"),
             std::string(R"({"other":1})"),
             std::string(R"([1,2])"),
             std::string(R"({"windows":[)"),
         }) {
        EXPECT_FALSE(parseWindowReport(refused, small)) << refused;
    }
}

// Each change of the front reaches the focus engine once. Nothing in front
// is reported at once (the focus engine decides when it has lasted), and
// what comes after it is an activation again, even of the same application.
TEST(PublishedWorkspace, AnnouncesEachChangeOfTheFrontOnce) {
    struct Published final : PublishedWorkspace {
        explicit Published(MainLoop& loop) : PublishedWorkspace(loop) {}
        using PublishedWorkspace::publish;
        using PublishedWorkspace::publishInitial;
    };
    const auto front = [](std::int32_t pid) {
        WorkspaceUpdate update;
        if (pid != 0) update.front.emplace().processIdentifier = pid;
        return update;
    };
    VirtualMainLoop loop;
    Published workspace(loop);
    std::vector<std::int32_t> heard;  // 0: the front cleared
    auto activations = workspace.observeActivation(
        [&](const app::RunningApplication& app) { heard.push_back(app.processIdentifier); });
    auto cleared = workspace.observeFrontCleared([&] { heard.push_back(0); });

    workspace.publishInitial(front(10));
    for (std::int32_t pid : {10, 10, 0, 0, 10, 20, 0, 20}) workspace.publish(front(pid));
    loop.runPending();
    EXPECT_EQ(heard, (std::vector<std::int32_t>{0, 10, 20, 0, 20}));
    EXPECT_EQ(workspace.frontmostApplication()->processIdentifier, 20);
}

class Tracking : public ::testing::Test {
protected:
    Tracking() {
        TrackerConfig config;
        config.identity.procRoot = "/proc";
        config.identity.systemDataFolders = {tree.path("share")};
        config.identity.homeOf = [this](uid_t) { return std::optional(tree.path("home")); };
        config.locale = "C";
        config.ownPid = 1;
        tree.write("share/applications/org.example.Editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\n");
        tree.write("share/applications/org.example.Game.desktop",
                   "[Desktop Entry]\nType=Application\nName=Game\nStartupWMClass=KorvaneGame\n");
        tree.write("share/applications/org.example.Panel.desktop",
                   "[Desktop Entry]\nType=Application\nName=Panel\nX-GNOME-Provides=panel\n");
        tracker = std::make_unique<WindowTracker>(std::move(config), units);
    }
    static std::vector<std::int32_t> pids(const std::vector<app::RunningApplication>& apps) {
        std::vector<std::int32_t> listed;
        for (const auto& app : apps) listed.push_back(app.processIdentifier);
        return listed;
    }
    WorkspaceUpdate windows(std::vector<ReportedWindow> list, std::optional<std::string> active = {}) {
        return tracker->apply(WindowReport{std::move(list), std::move(active)});
    }

    testing::FixtureTree tree;
    testing::FakeUnits units;
    std::unique_ptr<WindowTracker> tracker;
    testing::StartedProgram editor{{"/bin/sleep", "60"}}, game{{"/bin/sleep", "60"}}, panel{{"/bin/sleep", "60"}};
};

TEST_F(Tracking, FollowsTheCompositorsWindowsAsProcesses) {
    const std::int32_t e = editor.pid(), g = game.pid();
    ReportedWindow editorWindow{"e1", e, "org.example.Editor", "", "", WindowKind::normal, false};
    ReportedWindow gameWindow{"g1", g, "", "xterm", "KorvaneGame", WindowKind::normal, false};
    ReportedWindow gone{"x", testing::endedPid(), "org.example.Editor", "", "", WindowKind::normal, false};

    // The compositor may name the window in front before it lists it.
    auto update = windows({gameWindow, gone}, "e1");
    EXPECT_EQ(pids(update.apps), std::vector<std::int32_t>{g});
    EXPECT_EQ(update.apps[0].bundleIdentifier, "org.example.Game");
    EXPECT_EQ(update.front, std::nullopt);

    update = windows({gameWindow, editorWindow});
    EXPECT_EQ(pids(update.launched), std::vector<std::int32_t>{e});
    ASSERT_TRUE(update.front);
    EXPECT_EQ(update.front->processIdentifier, e);

    // Our own window (pid 1 here) in front changes nothing; the desktop's own
    // program is no application to focus or throttle.
    ReportedWindow own{"k", 1, "com.korvane.app", "", "", WindowKind::normal, false};
    ReportedWindow panelWindow{"p", panel.pid(), "org.example.Panel", "", "", WindowKind::normal, false};
    update = windows({gameWindow, editorWindow, own, panelWindow}, "k");
    EXPECT_EQ(pids(update.apps), (std::vector<std::int32_t>{g, e, panel.pid()}));
    EXPECT_EQ(update.apps[2].activationPolicy, app::ActivationPolicy::accessory);
    ASSERT_TRUE(update.front);
    EXPECT_EQ(update.front->processIdentifier, e);

    update = tracker->apply({.windows = {}, .active = "g1"});
    EXPECT_TRUE(update.launched.empty() && update.terminated.empty());
    EXPECT_EQ(update.front->processIdentifier, g);

    update = windows({editorWindow, panelWindow});
    EXPECT_EQ(pids(update.terminated), std::vector<std::int32_t>{g});
    EXPECT_EQ(update.front, std::nullopt);
}

TEST(WorkspaceChoice, FollowsTheSessionUnlessTheUserSaysOtherwise) {
    struct Case {
        SessionFacts facts;
        WorkspaceKind chosen;
        bool blind;
    };
    const auto wayland = [](SessionFacts facts) {
        facts.sessionType = "wayland";
        facts.waylandDisplay = true;
        return facts;
    };
    const Case cases[] = {
        // i3 on X11 sets $I3SOCK (and sway's variable may linger): X11 is X11.
        {{.sessionType = "x11", .x11Display = true, .swaySocket = true}, WorkspaceKind::x11, false},
        {wayland({.x11Display = true, .swaySocket = true}), WorkspaceKind::sway, false},
        {wayland({.x11Display = true, .kwinOnBus = true}), WorkspaceKind::kwin, false},
        {wayland({.x11Display = true, .gnomeShellOnBus = true}), WorkspaceKind::gnome, false},
        {wayland({.currentDesktop = "KDE", .kwinOnBus = true, .gnomeShellOnBus = true}), WorkspaceKind::kwin, false},
        {wayland({.x11Display = true}), WorkspaceKind::x11, true},
        {wayland({}), WorkspaceKind::none, true},
        {wayland({.requested = "gnome", .swaySocket = true}), WorkspaceKind::gnome, false},
        {wayland({.requested = "mutter", .swaySocket = true}), WorkspaceKind::sway, false},
    };
    for (const auto& c : cases) {
        auto choice = chooseWorkspace(c.facts);
        EXPECT_EQ(choice.kind, c.chosen) << choice.why;
        EXPECT_EQ(!choice.blindSpot.empty(), c.blind) << choice.why;
    }
    EXPECT_NE(chooseWorkspace(wayland({.requested = "mutter"})).why.find("KORVANE_WORKSPACE=mutter is not one of"),
              std::string::npos);
}

}  // namespace
}  // namespace korvane::linux_platform
