// Why each confined process is confined, from the focus engine's managers as
// the application wires them (a fake desktop, a fake helper on a real
// socket), and "Release all".
#include "app/throttled/throttled_processes_manager.h"

#include "app/focus/ecore_jail_manager.h"
#include "tests/focus/focus_world.h"
#include "tests/shell/scripted_machine.h"

namespace korvane::app {
namespace {

class ScriptedConfinement final : public ConfinementReader {
public:
    Expected<std::vector<ConfinedProcess>, std::string> readConfined() override {
        if (failure) return unexpected(*failure);
        return confined;
    }
    std::vector<ConfinedProcess> confined;
    std::optional<std::string> failure;
};

class ThrottledNowTest : public testing::FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        workspace.add(testing::FakeWorkspace::regular(100, "Editor", "org.example.Editor"));
        workspace.add(testing::FakeWorkspace::regular(200, "Browser", "org.example.Browser"));
        workspace.add(testing::FakeWorkspace::regular(300, "Terminal", "org.example.Terminal"));
        start();
        jail->jailedApps = std::vector<ECoreJailItem>{{"id", "org.example.Editor", "Editor", "/apps/editor.desktop"}};
        managerOwner = std::make_unique<ThrottledProcessesManager>(ThrottledProcessesManager::Dependencies{
            loop, machine, appManager, xpc, autoTrigger, jail.get()});
    }

    std::vector<std::pair<std::int32_t, unsigned>> reasons() const {
        std::vector<std::pair<std::int32_t, unsigned>> list;
        for (const auto& process : managerOwner->processes.get()) list.emplace_back(process.pid, process.reasons);
        return list;
    }

    testing::NoBundles bundles;
    std::unique_ptr<ECoreJailManager> jail = std::make_unique<ECoreJailManager>(
        ECoreJailManager::Dependencies{.mainLoop = loop, .settings = settings, .bundles = bundles, .xpcManager = xpc});
    ScriptedConfinement machine;
    // Made once the focus engine's managers exist.
    std::unique_ptr<ThrottledProcessesManager> managerOwner;
    ThrottledProcessesManager& manager() { return *managerOwner; }
};

TEST_F(ThrottledNowTest, EachProcessCountsForWhatConfinedItOrTheApplicationItDescendsFrom) {
    // The browser and a child of its were confined for focus, a child of the
    // jailed editor by the jail; 900 by nothing Korvane runs.
    xpc->throttledPIDs = std::set<std::int32_t>{200};
    machine.confined = {{101, "editor-helper", "8-15", {100, 1}},
                        {200, "browser-bin", "8-15", {1}},
                        {201, "Web Content", "8-15", {200, 1}},
                        {900, "backup", "0-15", {1}}};
    manager().refresh();
    using Reasons = std::vector<std::pair<std::int32_t, unsigned>>;
    EXPECT_EQ(reasons(), (Reasons{{101, kThrottledForJail}, {200, kThrottledForFocus}, {201, kThrottledForFocus}, {900, 0}}));
    // A listed application goes by its own name, not the kernel's short one,
    // and names the processes it started.
    EXPECT_EQ(manager().processes.get()[1].name, "Browser");
    EXPECT_EQ(manager().processes.get()[2].name, "Web Content (Browser)");
    EXPECT_EQ(manager().processes.get()[3].name, "backup");

    // Beast Mode confines every other application process and lists none.
    autoTrigger->isBeastModeActive = true;
    manager().refresh();
    EXPECT_EQ(reasons(), (Reasons{{101, kThrottledForJail}, {200, kThrottledForFocus}, {201, kThrottledForFocus},
                                  {900, kThrottledForBeastMode}}));

    machine.failure = "/proc: Permission denied";
    manager().refresh();
    EXPECT_EQ(manager().readError.get(), std::optional<std::string>("/proc: Permission denied"));
    EXPECT_TRUE(manager().processes->empty());
}

// "Release all" ending focus mode and freeing every process on a real
// desktop: shell_e2e_popover_focus. Here a helper that cannot release.
TEST_F(ThrottledNowTest, AReleaseTheHelperRefusesSaysWhyAndTheListShowsWhatStays) {
    daemon.fail("unthrottleAll", "taskpolicy failed for PID 900");
    machine.confined = {{900, "backup", "0-15", {1}}};
    TaskHandle released = manager().releaseAll();
    ASSERT_TRUE(loop.runUntil([&] { return released.done(); }));
    EXPECT_EQ(manager().releaseError.get(), std::optional<std::string>("taskpolicy failed for PID 900"));
    EXPECT_EQ(manager().processes->size(), 1u);
    EXPECT_FALSE(manager().isReleasing.get());
}

}  // namespace
}  // namespace korvane::app
