#include <gtest/gtest.h>

#include "platform/linux/workspace/window_apps.h"
#include "platform/linux/workspace/window_identity.h"
#include "tests/identity/identity_world.h"

namespace korvane::linux_platform {
namespace {

using app::ActivationPolicy;

WindowFacts window(std::uint32_t id, pid_t pid, WindowKind kind = WindowKind::normal, bool skipTaskbar = false,
                   std::uint64_t startTime = 7) {
    WindowFacts facts;
    facts.window = id;
    facts.pid = pid;
    facts.startTime = startTime;
    facts.kind = kind;
    facts.skipTaskbar = skipTaskbar;
    return facts;
}

TEST(WindowGroups, OneApplicationPerProcessInClientListOrder) {
    std::vector<WindowFacts> facts{
        window(1, 300, WindowKind::other),                 // a utility window first...
        window(2, 100),                                    //
        window(3, 300),                                    // ...and a normal one later
        window(4, 200, WindowKind::normal, true),          // only in no task bar
        window(5, 400, WindowKind::excluded),              // a dock
        window(6, 0),                                      // pid unknown
        window(7, 999),                                    // ourselves
        window(8, 500, WindowKind::other),                 //
        window(9, 100, WindowKind::normal, false, 8),      // pid 100 again, a later process
        window(10, 600),                                   // ended, its window lingers
    };
    std::vector<const WindowFacts*> ordered;
    for (const auto& f : facts) ordered.push_back(&f);
    auto groups = groupWindows(ordered, 999, {AppKey{600, 7}});

    std::vector<std::pair<AppKey, ActivationPolicy>> seen;
    for (const auto& g : groups) seen.emplace_back(g.key, g.policy);
    EXPECT_EQ(seen, (std::vector<std::pair<AppKey, ActivationPolicy>>{
                        {{300, 7}, ActivationPolicy::regular},
                        {{100, 7}, ActivationPolicy::regular},
                        {{200, 7}, ActivationPolicy::accessory},
                        {{500, 7}, ActivationPolicy::accessory},
                        {{100, 8}, ActivationPolicy::regular},
                    }));
    ASSERT_EQ(groups[0].windows.size(), 2u);
    EXPECT_EQ(groups[0].windows[1]->window, 3u);

    EXPECT_EQ(ownerOf(groups, 3), (AppKey{300, 7}));
    EXPECT_EQ(ownerOf(groups, 5), std::nullopt);  // docks are nobody's
    EXPECT_EQ(ownerOf(groups, 7), std::nullopt);
    EXPECT_EQ(ownerOf(groups, 10), std::nullopt);
}

class WindowNaming : public testing::IdentityWorld {
protected:
    std::string entry(const std::string& file, const std::string& keys) {
        return IdentityWorld::entry(usr, file, keys);
    }
    // A process of `pid` running `program`.
    void process(pid_t pid, const std::string& program) { runs(pid, tree.executable("bin/" + program)); }
    AppNaming name(pid_t pid, std::vector<WindowClass> classes) {
        naming.refresh();
        return naming.nameApp({pid, 1}, classes);
    }

    WindowIdentity naming{resolver, "de_DE.UTF-8"};
};

TEST_F(WindowNaming, SourcesSpeakStrongestFirst) {
    entry("org.example.Term.desktop", "Name=Terminal\nExec=term\n");
    entry("org.example.Sandboxed.desktop", "Name=Sandboxed\nStartupWMClass=Shared\n");
    entry("org.example.ByInstance.desktop", "Name=By instance\nStartupWMClass=inst\nExec=other\n");
    entry("org.example.ByClass.desktop", "Name=By class\nStartupWMClass=Cls\n");
    entry("editor.desktop", "Name=Editor\n");
    entry("google-chrome.desktop", "Name=Chrome\n");
    entry("org.example.Unit.desktop", "Name=Unit\n");

    // The sandbox before everything, even a class that names another entry.
    process(10, "term");
    IdentityWorld::process(10, "root/.flatpak-info", "[Application]\nname=org.example.Flat\n");
    EXPECT_EQ(name(10, {{"inst", "Cls"}}).appID, "org.example.Flat");

    // Instance before class against StartupWMClass; both before IDs.
    process(11, "term");
    EXPECT_EQ(name(11, {{"Cls", "inst"}}).appID, "org.example.ByClass");
    EXPECT_EQ(name(12, {{"editor", "inst"}}).appID, "org.example.ByInstance");
    EXPECT_EQ(name(13, {{"editor", "Nothing"}}).appID, "editor");
    EXPECT_EQ(name(14, {{"Google Chrome", "x"}}).appID, "google-chrome");
    // The second window speaks when the first says nothing.
    EXPECT_EQ(name(15, {{"a", "b"}, {"", "Cls"}}).appID, "org.example.ByClass");
    // A Wayland app_id speaks like a class, before the X11 classes.
    EXPECT_EQ(name(16, {{"", "", "editor"}}).appID, "editor");
    EXPECT_EQ(name(17, {{"inst", "", "Cls"}}).appID, "org.example.ByClass");

    // A window's class speaks before what its process says (its unit here);
    // which of those speaks is the resolver's (identity tests).
    process(20, "term");
    units.user[20] = "app-org.example.Unit-5.scope";
    EXPECT_EQ(name(20, {{"editor", "Editor"}}).appID, "editor");
    // The process speaks when no class does.
    process(22, "term");
    EXPECT_EQ(name(22, {{"unknown", "Unknown"}}).appID, "org.example.Term");
    // Nothing speaks: no ID, named after the class.
    process(23, "unlisted");
    auto nameless = name(23, {{"", ""}, {"unknown", "Unknown"}});
    EXPECT_EQ(nameless.appID, std::nullopt);
    EXPECT_EQ(nameless.name, "Unknown");
    EXPECT_EQ(name(24, {{"", ""}}).name, std::nullopt);
    EXPECT_EQ(name(25, {{"", "", "org.example.Unlisted"}}).name, "org.example.Unlisted");
}

// The localized name and the entry's icon are proven on a real desktop.
TEST_F(WindowNaming, NameFallsBackToTheDefaultThenToTheClass) {
    entry("plain.desktop", "Name=Plain\nName[fr]=Simple\n");
    entry("blank.desktop", "Icon=/opt/blank.png\n");
    EXPECT_EQ(name(31, {{"plain", "PlainClass"}}).name, "Plain");
    auto blank = name(32, {{"blank", "BlankClass"}});  // an entry without a Name
    EXPECT_EQ(blank.appID, "blank");
    EXPECT_EQ(blank.name, "BlankClass");
    EXPECT_EQ(blank.iconName, "/opt/blank.png");
}

TEST_F(WindowNaming, RemembersPerProcessUntilClassesOrEntriesChange) {
    process(40, "other");
    EXPECT_EQ(name(40, {{"late", "Late"}}).appID, std::nullopt);
    entry("late.desktop", "Name=Late\n");
    // Installing an entry is seen on the next refresh.
    EXPECT_EQ(name(40, {{"late", "Late"}}).appID, "late");
    // A window that changed its class is asked about afresh.
    entry("renamed.desktop", "Name=Renamed\n");
    EXPECT_EQ(name(40, {{"renamed", "Renamed"}}).appID, "renamed");
}

}  // namespace
}  // namespace korvane::linux_platform
