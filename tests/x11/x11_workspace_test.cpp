#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/linux/x11/x11_workspace.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/x11/private_workspace_config.h"
#include "tests/x11/x_session.h"

namespace korvane::linux_platform {
namespace {

using app::ActivationPolicy;
using app::RunningApplication;
using testing::ClientOptions;
using testing::StartedProgram;
using testing::TestClient;

struct Announced {
    std::string kind;
    pid_t pid;
    friend bool operator==(const Announced&, const Announced&) = default;
};

std::ostream& operator<<(std::ostream& out, const Announced& a) { return out << a.kind << " " << a.pid; }

// A pid a window may claim that no application can have: the kernel's thread
// starter where it is visible, else a pid that names nothing.
pid_t kernelThreadOrNobody() {
    std::ifstream comm("/proc/2/comm");
    std::string name;
    return std::getline(comm, name) && name == "kthreadd" ? 2 : testing::endedPid();
}

std::vector<pid_t> pidsOf(const std::vector<RunningApplication>& apps) {
    std::vector<pid_t> pids;
    for (const auto& a : apps) pids.push_back(a.processIdentifier);
    return pids;
}

// A private desktop, desktop entries in a private data folder, and a workspace
// following it; what the workspace announces is recorded in order.
class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        session = testing::XSession::start(why);
        ASSERT_TRUE(session) << why;
        // An entry's icon comes first; the window's pixels stay for when it
        // does not resolve. How entries name windows is window_rules_test's.
        tree.write("share/applications/beta-tool.desktop", "[Desktop Entry]\nType=Application\nName=Beta Tool\nIcon=/opt/beta.png\n");
        open();
    }

    X11WorkspaceConfig config() { return testing::privateWorkspaceConfig(*session, tree); }

    void open() {
        auto opened = X11Workspace::open(loop, config(), units);
        ASSERT_TRUE(opened) << opened.error();
        workspace = std::move(*opened);
        for (auto [kind, observe] : {std::pair{"launch", &X11Workspace::observeLaunch},
                                     std::pair{"termination", &X11Workspace::observeTermination},
                                     std::pair{"activation", &X11Workspace::observeActivation}}) {
            subscriptions.push_back((workspace.get()->*observe)([this, kind = std::string(kind)](const auto& app) {
                seen.push_back({kind, app.processIdentifier});
                last[kind] = app;
            }));
        }
        subscriptions.push_back(workspace->observeFrontCleared([this] { seen.push_back({"cleared", 0}); }));
    }

    bool announced(const std::string& kind, pid_t pid) {
        return loop.runUntil([&] { return std::count(seen.begin(), seen.end(), Announced{kind, pid}) > 0; });
    }

    // Lets announcements still on their way arrive.
    void settle() { loop.runUntil([] { return false; }, std::chrono::milliseconds(200)); }

    std::unique_ptr<TestClient> client(ClientOptions options) {
        options.environment.emplace_back("XDG_DATA_HOME", tree.path("home/.local/share"));
        auto started = std::make_unique<TestClient>(*session, options);
        EXPECT_TRUE(started->ready()) << options.className;
        return started;
    }

    void activate(std::uint32_t window) {
        auto result = session->run({"xdotool", "windowactivate", "--sync", std::to_string(window)});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    }

    std::optional<RunningApplication> listed(pid_t pid) {
        for (auto& a : workspace->runningApplications()) {
            if (a.processIdentifier == pid) return a;
        }
        return std::nullopt;
    }

    std::unique_ptr<testing::XSession> session;
    testing::FixtureTree tree;
    testing::FakeUnits units;
    VirtualMainLoop loop;
    std::unique_ptr<X11Workspace> workspace;
    std::vector<app::Subscription> subscriptions;
    std::vector<Announced> seen;
    std::map<std::string, RunningApplication> last;
};

// What the X properties say: the pid (from the X-Resource extension when the
// window names none or no process's), the kind of window, its icon.
TEST_F(X11Desktop, SnapshotHasEveryApplicationInClientListOrder) {
    auto beta = client(ClientOptions::named("beta", "Beta Tool").icons({{16, 16}, {64, 64}}));
    auto gamma = client(ClientOptions::named("gamma", "Gamma").icons({{16, 16}, {48, 48}, {300, 300}}));
    auto epsilon = client(ClientOptions::named("epsilon", "Epsilon").hidingPID());
    auto kappa = client(ClientOptions::named("kappa", "Kappa").claiming(kernelThreadOrNobody()));
    auto zeta = client(ClientOptions::named("zeta", "Zeta").outsideTaskbar());
    auto eta = client(ClientOptions::named("eta", "Eta").ofType("utility"));
    auto dock = client(ClientOptions::named("dock", "Dock").ofType("dock"));
    auto theta = client(ClientOptions::named("theta", "Theta").ofType("dialog").windowCount(2));
    const std::vector<pid_t> order{beta->pid(), gamma->pid(), epsilon->pid(), kappa->pid(),
                                   zeta->pid(), eta->pid(),   theta->pid()};
    for (pid_t pid : order) ASSERT_TRUE(announced("launch", pid)) << pid;

    auto apps = workspace->runningApplications();
    EXPECT_EQ(pidsOf(apps), order);
    EXPECT_EQ(apps[0].bundleIdentifier, "beta-tool");
    EXPECT_EQ(apps[0].icon->themeNameOrPath, "/opt/beta.png");
    EXPECT_EQ(apps[0].icon->width, 64);
    EXPECT_EQ(apps[1].bundleIdentifier, std::nullopt);
    EXPECT_EQ(apps[1].localizedName, "Gamma");
    ASSERT_TRUE(apps[1].icon);
    EXPECT_EQ(apps[1].icon->width, 48);
    EXPECT_EQ(apps[1].icon->argb.at(0), 0xff000000U | (48 * 0x010203U));
    EXPECT_EQ(apps[2].localizedName, "Epsilon");
    EXPECT_EQ(apps[3].localizedName, "Kappa");
    std::vector<ActivationPolicy> policies;
    for (const auto& app : apps) policies.push_back(app.activationPolicy);
    EXPECT_EQ(policies, (std::vector<ActivationPolicy>{ActivationPolicy::regular, ActivationPolicy::regular,
                                                        ActivationPolicy::regular, ActivationPolicy::regular,
                                                        ActivationPolicy::accessory, ActivationPolicy::accessory,
                                                        ActivationPolicy::regular}));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", dock->pid()}), 0);

    if (const char* shot = std::getenv("KORVANE_X11_SCREENSHOT")) {
        EXPECT_TRUE(session->screenshot(shot));
    }

    // A workspace opened now reads the same desktop at once and announces
    // none of it; our own pid is never listed.
    auto c = config();
    c.ownPid = gamma->pid();
    auto second = X11Workspace::open(loop, c, units);
    ASSERT_TRUE(second) << second.error();
    auto expected = apps;
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(pidsOf((*second)->runningApplications()), pidsOf(expected));
    // The first workspace keeps the last active application as the front
    // while it runs; the second sees only what is active now, which may be
    // nothing (a window manager between two windows) or the one it counts as
    // its own. Whatever it sees must be the same application.
    auto firstFront = workspace->frontmostApplication();
    ASSERT_TRUE(firstFront);
    if (auto secondFront = (*second)->frontmostApplication()) {
        EXPECT_EQ(secondFront->processIdentifier, firstFront->processIdentifier);
    }
    int secondLaunches = 0;
    auto counting = (*second)->observeLaunch([&](const RunningApplication&) { ++secondLaunches; });
    settle();
    EXPECT_EQ(secondLaunches, 0);

}

TEST_F(X11Desktop, WindowsChangingTheirPropertiesChangeTheSnapshot) {
    auto iota = client(ClientOptions::named("iota", "Iota"));
    ASSERT_TRUE(announced("launch", iota->pid()));
    EXPECT_EQ(listed(iota->pid())->bundleIdentifier, std::nullopt);
    std::string window = std::to_string(iota->windows()[0]);
    ASSERT_EQ(session->run({"xdotool", "set_window", "--class", "Beta Tool", window}).exitStatus, 0);
    EXPECT_TRUE(testing::waitUntil([&] { return listed(iota->pid())->bundleIdentifier == "beta-tool"; }));
    EXPECT_EQ(listed(iota->pid())->localizedName, "Beta Tool");
    auto state = session->run({"xprop", "-id", window, "-f", "_NET_WM_STATE", "32a", "-set", "_NET_WM_STATE",
                               "_NET_WM_STATE_SKIP_TASKBAR"});
    ASSERT_EQ(state.exitStatus, 0) << state.err;
    EXPECT_TRUE(testing::waitUntil(
        [&] { return listed(iota->pid())->activationPolicy == ActivationPolicy::accessory; }));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", iota->pid()}), 1);
}

// Nothing in front counts as a front of its own: none, or a window no
// application owns (the desktop). The window manager passes through none
// between two windows; whether that lasted is the focus engine's to decide.
TEST_F(X11Desktop, ActivationIsAnnouncedOncePerChangeOfTheFront) {
    auto one = client(ClientOptions::named("one", "One").windowCount(2));
    auto two = client(ClientOptions::named("two", "Two"));
    auto desktop = client(ClientOptions::named("desktop", "Desktop").ofType("desktop"));
    ASSERT_TRUE(announced("launch", one->pid()));
    ASSERT_TRUE(announced("launch", two->pid()));
    // The window manager focuses new windows on its own; start from a
    // settled front.
    activate(two->windows()[0]);
    ASSERT_TRUE(announced("activation", two->pid()));
    settle();
    seen.clear();

    activate(one->windows()[0]);
    ASSERT_TRUE(announced("activation", one->pid()));
    EXPECT_EQ(workspace->frontmostApplication()->processIdentifier, one->pid());
    EXPECT_EQ(last["activation"].localizedName, "One");
    activate(one->windows()[1]);  // the same application
    activate(two->windows()[0]);
    ASSERT_TRUE(announced("activation", two->pid()));
    settle();
    for (std::uint32_t nothing : {0u, desktop->windows()[0]}) {
        seen.clear();
        ASSERT_TRUE(testing::setActiveWindowProperty(*session, nothing));
        ASSERT_TRUE(announced("cleared", 0));
        EXPECT_FALSE(workspace->frontmostApplication());
        // The same application after it is a change again.
        ASSERT_TRUE(testing::setActiveWindowProperty(*session, two->windows()[0]));
        ASSERT_TRUE(announced("activation", two->pid()));
    }
    activate(one->windows()[1]);
    ASSERT_TRUE(announced("activation", one->pid()));
    settle();
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << ::testing::PrintToString(seen);
    EXPECT_EQ(workspace->frontmostApplication()->processIdentifier, one->pid());
}

TEST_F(X11Desktop, TerminationWhenTheLastWindowLeavesOrTheProcessEnds) {
    auto closing = client(ClientOptions::named("closing", "Closing").windowCount(2));
    auto killed = client(ClientOptions::named("killed", "Killed"));
    ASSERT_TRUE(announced("launch", closing->pid()));
    ASSERT_TRUE(announced("launch", killed->pid()));
    EXPECT_EQ(last["launch"].localizedName, "Killed");

    closing->closeWindows();  // the process stays
    ASSERT_TRUE(announced("termination", closing->pid()));
    EXPECT_EQ(last["termination"].localizedName, "Closing");
    EXPECT_FALSE(closing->program().exited());
    pid_t killedPID = killed->pid();
    killed->program().stop(SIGKILL);
    ASSERT_TRUE(announced("termination", killedPID));
    EXPECT_FALSE(listed(killedPID));

    // A window whose _NET_WM_PID names another process: that process ending
    // ends the application, though the window stays.
    StartedProgram sleeper({testing::findProgram("sleep"), "300"});
    pid_t sleeperPID = sleeper.pid();
    auto claiming = client(ClientOptions::named("claiming", "Claiming").claiming(sleeperPID));
    ASSERT_TRUE(announced("launch", sleeperPID));
    EXPECT_EQ(listed(sleeperPID)->localizedName, "Claiming");
    sleeper.stop(SIGKILL);
    ASSERT_TRUE(announced("termination", sleeperPID));
    auto after = client(ClientOptions::named("after", "After"));
    ASSERT_TRUE(announced("launch", after->pid()));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", sleeperPID}), 1);
    EXPECT_EQ(pidsOf(workspace->runningApplications()), std::vector<pid_t>{after->pid()});
}

TEST_F(X11Desktop, LosingTheServerEndsEveryApplication) {
    auto survivor = client(ClientOptions::named("survivor", "Survivor"));
    ASSERT_TRUE(announced("launch", survivor->pid()));
    log::CapturedLines lines;
    session.reset();
    ASSERT_TRUE(announced("termination", survivor->pid()));
    const char* lost = "Korvane: X11 workspace: the connection to the X server was lost";
    ASSERT_TRUE(testing::waitUntil([&] { return lines.countStartingWith(lost) > 0; }));
    EXPECT_TRUE(workspace->runningApplications().empty());
    EXPECT_FALSE(workspace->frontmostApplication());
    settle();
    EXPECT_EQ(lines.countStartingWith(lost), 1);
}

TEST(X11Workspace, OpeningWithoutAServerSaysWhy) {
    VirtualMainLoop loop;
    testing::FakeUnits units;
    X11WorkspaceConfig config;
    config.display = ":32767";
    auto opened = X11Workspace::open(loop, config, units);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find("cannot connect to the X display \":32767\""), std::string::npos) << opened.error();
}

}  // namespace
}  // namespace korvane::linux_platform
