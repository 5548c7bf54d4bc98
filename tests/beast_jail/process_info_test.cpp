#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "helper/process_info.h"
#include "shared/log/log.h"
#include "tests/beast_jail/scan_world.h"

namespace korvane::helper {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Scans : public ::testing::Test, public testing::ScanWorld {
protected:
    log::CapturedLines log;
};

TEST_F(Scans, ApplicationProcessesExcludeTheFocusItsApplicationBelowItAndWhatWouldReachIt) {
    listing.set({{101, "mail"}, {202, "tool"}, {0, "zero"}, {1, "init"}, {999, "helper"}, {50, "focus"},
                 {51, "focus-worker"}, {52, "focus-worker-child"}, {53, "other-app-child"}, {54, "focus-elsewhere"},
                 {40, "terminal"}, {30, "shell"}});
    for (int pid : {0, 1, 999}) identity.add(pid, "/apps/sys.desktop", "sys");
    identity.add(101, "/apps/mail.desktop", "mail");
    identity.add(202, "/apps/none.desktop");  // gives no ID
    for (int pid : {50, 51, 52, 54}) identity.add(pid, "/apps/game.desktop", "game");
    identity.add(53, "/apps/chat.desktop", "chat");
    identity.add(40, "/apps/term.desktop", "term");
    identity.add(30, "/apps/shell.desktop", "shell");
    // The game was started from a terminal in its own cgroup, which a
    // session shell in another cgroup started.
    parents = {{51, 50}, {52, 51}, {53, 50}, {54, 1}, {101, 1}, {50, 40}, {40, 30}, {30, 1}};
    cgroups[30] = "0::/session.scope\n";

    EXPECT_THAT(info.guiAppPIDs(50), ElementsAre(101, 53, 54, 30));
    // Focusing another application leaves the game's whole tree a candidate.
    EXPECT_THAT(info.guiAppPIDs(101), ElementsAre(50, 51, 52, 53, 54, 40, 30));
    EXPECT_THAT(log.lines(), IsEmpty());

    listing.fail("/proc: Permission denied");
    EXPECT_THAT(info.guiAppPIDs(50), IsEmpty());
    EXPECT_THAT(log.lines(), ElementsAre("KorvaneHelper: ps komutu çalıştırılamadı — /proc: Permission denied"));
}

TEST_F(Scans, AProcessIsLookedUpAfreshUntilItsOriginSettlesThenOnlyWhenItChanges) {
    using std::chrono::seconds;
    auto scan = [&] { return info.pidsForBundleIDs({"org.example.Mail"}).size(); };
    listing.set({{11, "mail"}});
    EXPECT_EQ(scan(), 0u);  // just started, not yet in its application's unit
    identity.add(11, "app-gnome-org.example.Mail-11.scope", "org.example.Mail");
    now += seconds(1);
    EXPECT_EQ(scan(), 1u);
    now += seconds(1);
    EXPECT_EQ(scan(), 1u);
    EXPECT_EQ(identity.lookups(11), 3);
    now += seconds(5);
    EXPECT_EQ(scan(), 1u);
    EXPECT_EQ(identity.lookups(11), 3);  // settled: taken from the memo

    listing.set({{11, "mail --other-program"}});  // exec, or the pid reused
    scan();
    EXPECT_EQ(identity.lookups(11), 4);
    now += seconds(5);
    scan();
    scan();
    EXPECT_EQ(identity.lookups(11), 5);
    identity.entriesChanged();
    scan();
    scan();
    EXPECT_EQ(identity.lookups(11), 6);  // looked up once after the change
    listing.set({});
    scan();
    listing.set({{11, "mail --other-program"}});
    scan();
    EXPECT_EQ(identity.lookups(11), 7);  // forgotten while it was not listed
}

// One user's folder changing on every scan costs only the processes whose
// answers rest on it, not everyone's memo.
TEST_F(Scans, AFolderThatChangesForgetsOnlyTheOriginsThatRestOnIt) {
    using std::chrono::seconds;
    auto scan = [&] { return info.pidsForBundleIDs({"org.example.Mail"}).size(); };
    listing.set({{11, "mail"}, {12, "editor"}, {13, "shell"}});
    identity.add(11, "/home/a/.local/share/applications/mail.desktop", "org.example.Mail");
    identity.add(12, "app-gnome-org.example.Editor-12.scope", "org.example.Editor");
    identity.dependsOn(11, "/home/a/.local/share");
    identity.dependsOn(13, "/home/b/.local/share");  // no application, found from b's folder
    scan();
    now += seconds(5);
    scan();
    for (int round = 0; round < 3; ++round) {
        identity.entriesChanged("/home/a/.local/share");
        scan();
    }
    EXPECT_EQ(identity.lookups(11), 5);
    EXPECT_EQ(identity.lookups(12), 2);
    EXPECT_EQ(identity.lookups(13), 2);
}

}  // namespace
}  // namespace korvane::helper
