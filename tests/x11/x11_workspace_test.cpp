// What only the X11 workspace reads: the X properties of every kind of
// window. Clients started from desktop entries, activations by the window
// manager and nothing in front are the end-to-end runs' (tests/focus_e2e),
// on every family; that each change of the front is announced once is
// PublishedWorkspace's (workspace_feed_test).
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/linux/x11/x11_workspace.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/desktops/x11_session.h"
#include "tests/fakes/fake_unit_lookup.h"

namespace korvane::linux_platform {
namespace {

using app::ActivationPolicy;
using app::RunningApplication;
using testing::ClientOptions;
using testing::TestClient;

struct Announced {
    std::string kind;
    pid_t pid;
    friend bool operator==(const Announced&, const Announced&) = default;
};

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
        tree.write("share/applications/beta-tool.desktop",
                   "[Desktop Entry]\nType=Application\nName=Beta Tool\nIcon=/opt/beta.png\n");
        workspace = open();
        ASSERT_TRUE(workspace);
        for (auto [kind, observe] : {std::pair{"launch", &app::Workspace::observeLaunch},
                                     std::pair{"termination", &app::Workspace::observeTermination},
                                     std::pair{"activation", &app::Workspace::observeActivation}}) {
            subscriptions.push_back((workspace.get()->*observe)([this, kind = std::string(kind)](const auto& app) {
                seen.push_back({kind, app.processIdentifier});
            }));
        }
    }

    std::unique_ptr<app::Workspace> open() {
        auto opened = session->openWorkspace(loop, testing::privateTrackerConfig(tree), units);
        EXPECT_TRUE(opened) << opened.error();
        return opened ? std::move(opened).value() : nullptr;
    }

    // Whether the workspace announces it.
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
    std::unique_ptr<app::Workspace> workspace;
    std::vector<app::Subscription> subscriptions;
    std::vector<Announced> seen;
};

// What the X properties say: the pid (from the X-Resource extension when the
// window names none or no process's), the kind of window, its icon.
TEST_F(X11Desktop, SnapshotHasEveryApplicationInClientListOrder) {
    // A pid no application can have: the kernel's thread starter where it is
    // visible, else one that names nothing.
    std::ifstream kthreadd("/proc/2/comm");
    std::string name;
    const pid_t kernelThread = std::getline(kthreadd, name) && name == "kthreadd" ? 2 : testing::endedPid();
    auto beta = client({.instance = "beta", .className = "Beta Tool", .iconSizes = {{16, 16}, {64, 64}}});
    auto gamma = client({.instance = "gamma", .className = "Gamma", .iconSizes = {{16, 16}, {48, 48}, {300, 300}}});
    auto epsilon = client({.instance = "epsilon", .className = "Epsilon", .withoutPID = true});
    auto kappa = client({.instance = "kappa", .className = "Kappa", .claimPID = kernelThread});
    auto eta = client({.instance = "eta", .className = "Eta", .type = "utility"});
    auto dock = client({.instance = "dock", .className = "Dock", .type = "dock"});
    auto theta = client({.instance = "theta", .className = "Theta", .type = "dialog", .windows = 2});
    const std::vector<pid_t> order{beta->pid(), gamma->pid(), epsilon->pid(), kappa->pid(), eta->pid(), theta->pid()};
    for (pid_t pid : order) ASSERT_TRUE(announced("launch", pid)) << pid;

    auto apps = workspace->runningApplications();
    ASSERT_EQ(pidsOf(apps), order);
    EXPECT_EQ(apps[0].bundleIdentifier, "beta-tool");
    EXPECT_EQ(apps[0].icon->themeNameOrPath, "/opt/beta.png");
    EXPECT_EQ(apps[1].bundleIdentifier, std::nullopt);
    EXPECT_EQ(apps[1].localizedName, "Gamma");
    ASSERT_TRUE(apps[1].icon);
    EXPECT_EQ(apps[1].icon->width, 48);
    EXPECT_EQ(apps[1].icon->argb.at(0), 0xff000000U | (48 * 0x010203U));
    EXPECT_EQ(apps[3].localizedName, "Kappa");
    std::vector<ActivationPolicy> policies;
    for (const auto& app : apps) policies.push_back(app.activationPolicy);
    EXPECT_EQ(policies, (std::vector<ActivationPolicy>{ActivationPolicy::regular, ActivationPolicy::regular,
                                                        ActivationPolicy::regular, ActivationPolicy::regular,
                                                        ActivationPolicy::accessory, ActivationPolicy::regular}));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", dock->pid()}), 0);
    if (const char* shot = std::getenv("KORVANE_X11_SCREENSHOT")) {
        EXPECT_TRUE(session->screenshot(shot));
    }

    // A workspace opened now reads the same desktop at once and announces
    // none of it.
    auto second = open();
    ASSERT_TRUE(second);
    EXPECT_EQ(pidsOf(second->runningApplications()), order);
    int secondLaunches = 0;
    auto counting = second->observeLaunch([&](const RunningApplication&) { ++secondLaunches; });
    settle();
    EXPECT_EQ(secondLaunches, 0);
}

TEST_F(X11Desktop, WindowsChangingTheirPropertiesChangeTheSnapshot) {
    auto iota = client({.instance = "iota", .className = "Iota"});
    ASSERT_TRUE(announced("launch", iota->pid()));
    EXPECT_EQ(listed(iota->pid())->bundleIdentifier, std::nullopt);
    std::string window = std::to_string(iota->windows()[0]);
    ASSERT_EQ(session->run({"xdotool", "set_window", "--class", "Beta Tool", window}).exitStatus, 0);
    EXPECT_TRUE(testing::waitUntil([&] { return listed(iota->pid())->bundleIdentifier == "beta-tool"; }));
    auto state = session->run({"xprop", "-id", window, "-f", "_NET_WM_STATE", "32a", "-set", "_NET_WM_STATE",
                               "_NET_WM_STATE_SKIP_TASKBAR"});
    ASSERT_EQ(state.exitStatus, 0) << state.err;
    EXPECT_TRUE(testing::waitUntil(
        [&] { return listed(iota->pid())->activationPolicy == ActivationPolicy::accessory; }));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", iota->pid()}), 1);
}

// An application ends when its last window leaves (the process may stay)
// or its process ends, also the one a window's _NET_WM_PID names.
TEST_F(X11Desktop, TerminationWhenTheLastWindowLeavesOrTheProcessEnds) {
    auto closing = client({.instance = "closing", .className = "Closing", .windows = 2});
    auto killed = client({.instance = "killed", .className = "Killed"});
    testing::StartedProgram sleeper({testing::findProgram("sleep"), "300"});
    const pid_t killedPID = killed->pid(), sleeperPID = sleeper.pid();
    auto claiming = client({.instance = "claiming", .className = "Claiming", .claimPID = sleeperPID});
    for (pid_t pid : {closing->pid(), killedPID, sleeperPID}) ASSERT_TRUE(announced("launch", pid));

    ::kill(closing->pid(), SIGUSR1);  // its windows go, the process stays
    killed->program().stop(SIGKILL);
    sleeper.stop(SIGKILL);
    for (pid_t pid : {closing->pid(), killedPID, sleeperPID}) ASSERT_TRUE(announced("termination", pid));
    EXPECT_FALSE(closing->program().exited());
    // The claiming window stays, and is not taken for a new application.
    auto after = client({.instance = "after", .className = "After"});
    ASSERT_TRUE(announced("launch", after->pid()));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), Announced{"launch", sleeperPID}), 1);
    EXPECT_EQ(pidsOf(workspace->runningApplications()), std::vector<pid_t>{after->pid()});
}

TEST_F(X11Desktop, LosingTheServerEndsEveryApplication) {
    auto survivor = client({.instance = "survivor", .className = "Survivor"});
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
    auto opened = X11Workspace::open(loop, {.display = ":32767"}, units);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find("cannot connect to the X display \":32767\""), std::string::npos) << opened.error();
}

}  // namespace
}  // namespace korvane::linux_platform
