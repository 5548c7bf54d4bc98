// The E-Core Jail list, its switch, and desktop entries as bundles. The log
// lines it writes are checked in focus_log_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/identity/desktop_bundle_reader.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/runtime/uuid.h"
#include "tests/focus/focus_world.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string entryNamed(const std::string& name) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nName[de]=" + name + "-de\nExec=run\n";
}

class ECoreJailTest : public testing::FocusWorld {
protected:
    void SetUp() override {
        FocusWorld::SetUp();
        terminal = folder.write("system-data/applications/org.example.Terminal.desktop", entryNamed("Terminal"));
        terminalCopy = folder.write("home-data/applications/org.example.Terminal.desktop", entryNamed("My Terminal"));
        konsole = folder.write("system-data/applications/kde4/konsole.desktop", entryNamed("Konsole"));
        loose = folder.write("downloads/Tool.desktop", entryNamed("Tool"));
    }

    std::unique_ptr<ECoreJailManager> makeJail(std::weak_ptr<XPCManager> client) {
        return std::make_unique<ECoreJailManager>(ECoreJailManager::Dependencies{
            .mainLoop = loop, .settings = settings, .bundles = reader, .xpcManager = std::move(client)});
    }
    void release(ECoreJailManager& jail) {
        TaskHandle done = jail.releaseConfined();
        ASSERT_TRUE(loop.runUntil([&] { return done.done(); }));
    }
    // Runs until `count` synchronisations have been logged.
    void waitForSyncs(int count) {
        ASSERT_TRUE(loop.runUntil([&] { return logLines.countStartingWith("Korvane: Jail listesi") >= count; }));
    }

    std::string terminal, terminalCopy, konsole, loose;
    DesktopBundleReader reader{{.dataFolders = {folder.path("home-data"), folder.path("system-data")},
                                .locale = "de_AT.UTF-8"}};
};

TEST_F(ECoreJailTest, DesktopEntriesAreBundlesNamedByTheirIDAndLocalizedName) {
    auto bundle = reader.readBundle(konsole);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundleIdentifier, "kde4-konsole");
    EXPECT_EQ(bundle->name, "Konsole-de");
    EXPECT_EQ(reader.readBundle(loose)->bundleIdentifier, "Tool");
    // A path that reaches the folder another way is still inside it.
    EXPECT_EQ(reader.readBundle(folder.path("home-data/../system-data/applications/kde4/konsole.desktop"))
                  ->bundleIdentifier,
              "kde4-konsole");

    EXPECT_FALSE(reader.readBundle(folder.path("system-data/applications")));  // a folder
    EXPECT_FALSE(reader.readBundle(folder.write("notes.txt", entryNamed("Notes"))));
    EXPECT_FALSE(reader.readBundle(folder.write("link.desktop", "[Desktop Entry]\nType=Link\nName=Web\nURL=x\n")));
    EXPECT_FALSE(reader.readBundle(folder.path("missing.desktop")));
}

TEST_F(ECoreJailTest, TheSameApplicationByTwoPathsIsListedOnceUnderItsFirstPath) {
    auto jail = makeJail(xpc);
    jail->addApp(terminal);
    jail->addApp(terminalCopy);
    jail->addApp(folder.path("system-data/applications"));
    ASSERT_EQ(jail->jailedApps->size(), 1u);
    const ECoreJailItem& item = jail->jailedApps->front();
    EXPECT_EQ(item.bundleIdentifier, "org.example.Terminal");
    EXPECT_EQ(item.appName, "Terminal-de");
    EXPECT_EQ(item.appPath, terminal);
    EXPECT_TRUE(isUUIDText(item.id));
    EXPECT_EQ(decodeJailItems(*settings.dataValue(ECoreJailManager::storageKey)), jail->jailedApps.get());
}

// Switching off sends an empty list, which releases nothing; the release
// is asked for separately, and only while the jail is off.
TEST_F(ECoreJailTest, TheListIsSentOnlyWhileOnAndWhatItConfinedIsReleasedOnlyWhenAskedWhileOff) {
    auto jail = makeJail(xpc);
    jail->addApp(terminal);
    jail->addApp(konsole);
    loop.runPending();
    EXPECT_THAT(daemon.commands(), IsEmpty());

    jail->isEnabled = true;
    waitForSyncs(1);
    EXPECT_TRUE(settings.boolValue(ECoreJailManager::enabledKey));
    release(*jail);
    jail->removeApp(jail->jailedApps->front());
    waitForSyncs(2);
    jail->isEnabled = false;
    waitForSyncs(3);
    const std::vector<std::string> synced{"jail [ org.example.Terminal kde4-konsole ]", "jail [ kde4-konsole ]",
                                          "jail [ ]"};
    EXPECT_EQ(daemon.commands(), synced);
    EXPECT_EQ(jail->jailedApps->size(), 1u);
    EXPECT_FALSE(jail->confinedReleased.get());

    daemon.fail("unthrottleAll", "busy");
    release(*jail);
    EXPECT_EQ(jail->lastSyncError.get(), "Could not release the applications the jail confined");
    EXPECT_FALSE(jail->confinedReleased.get());
    daemon.clearFailures();
    release(*jail);
    EXPECT_THAT(daemon.commands(), ElementsAre(synced[0], synced[1], synced[2], "unthrottleAll", "unthrottleAll"));
    EXPECT_TRUE(jail->confinedReleased.get());
    EXPECT_EQ(jail->lastSyncError.get(), std::nullopt);

    jail->isEnabled = true;
    EXPECT_FALSE(jail->confinedReleased.get());
}

TEST_F(ECoreJailTest, AStoredOnSwitchSendsTheListTwiceAtStartUpAndFailuresAreShownUntilASuccess) {
    settings.setData(ECoreJailManager::storageKey, encodeJailItems({{makeUUID(), "kde4-konsole", "Konsole", konsole}}));
    settings.setBool(ECoreJailManager::enabledKey, true);
    daemon.fail("jail [ kde4-konsole ]", "busy");
    auto jail = makeJail(xpc);
    waitForSyncs(2);
    EXPECT_EQ(jail->lastSyncError.get(), "Failed to sync jail list with daemon");
    EXPECT_EQ(logLines.countStartingWith("Korvane: Jail listesi"), 2);  // sent twice, failed twice

    daemon.clearFailures();
    jail->addApp(terminal);
    waitForSyncs(3);
    EXPECT_EQ(jail->lastSyncError.get(), std::nullopt);
}

TEST_F(ECoreJailTest, AStoredListThatCannotBeReadStartsEmptyAndStaysStored) {
    const std::string id = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    const std::string good = R"({"id":")" + id + R"(","bundleIdentifier":"a","appName":"A","appPath":"/a.desktop"})";
    const std::vector<std::string> unreadable = {
        "[" + good + R"(,{"id":")" + id + R"(","bundleIdentifier":"b","appName":"B"}])",  // no appPath
        R"([{"id":"not-a-uuid","bundleIdentifier":"a","appName":"A","appPath":"/a.desktop"}])",
        R"({"id":"x"})",
        "not json",
    };
    for (const auto& bytes : unreadable) {
        settings.setData(ECoreJailManager::storageKey, bytes);
        auto jail = makeJail(xpc);
        EXPECT_THAT(jail->jailedApps.get(), IsEmpty()) << bytes;
        EXPECT_EQ(settings.dataValue(ECoreJailManager::storageKey), bytes);
    }
    settings.setData(ECoreJailManager::storageKey, "[" + good + "]");
    auto jail = makeJail(xpc);
    EXPECT_EQ(jail->jailedApps.get(), (std::vector<ECoreJailItem>{{id, "a", "A", "/a.desktop"}}));
}

TEST_F(ECoreJailTest, AHelperThatComesBackIsSentTheListAgain) {
    auto jail = makeJail(xpc);
    jail->addApp(konsole);
    jail->isEnabled = true;
    waitForSyncs(1);
    served.stop();
    ASSERT_TRUE(loop.runUntil([&] { return !xpc->helperActive.get(); }));
    served.restart();
    ASSERT_TRUE(advanceUntil([&] { return logLines.countStartingWith("Korvane: Jail listesi") >= 2; }));
    EXPECT_THAT(daemon.commands(), ElementsAre("jail [ kde4-konsole ]", "jail [ kde4-konsole ]"));
}

// A list the helper would refuse is refused when it is edited, not at sync;
// one stored that way (an older version, an edit by hand) is not sent and
// says why.
TEST_F(ECoreJailTest, AListTheHelperWouldRefuseIsNeverSentAndSaysWhy) {
    struct Case {
        std::size_t entries;
        std::size_t idBytes;
        bool storedOn;  // the stored list itself, with the jail on; else an addition to it
        const char* message;
    };
    for (Case c : {Case{msg::kMaxJailedBundleIDs, 8, false, "The jail holds at most 1,024 applications."},
                   Case{2, 600 * 1024, false, "The jail list would be too large for the helper"},
                   Case{msg::kMaxJailedBundleIDs + 1, 8, true, "The jail lists more than 1,024 applications"},
                   Case{3, 400 * 1024, true, "The jail list is too large for the helper"}}) {
        std::vector<ECoreJailItem> stored;
        for (std::size_t i = 0; i < c.entries; ++i) {
            std::string id = std::to_string(i);
            id.resize(c.idBytes, 'x');
            stored.push_back({makeUUID(), id, "App", "/a.desktop"});
        }
        settings.setData(ECoreJailManager::storageKey, encodeJailItems(stored));
        settings.setBool(ECoreJailManager::enabledKey, c.storedOn);
        auto jail = makeJail(xpc);
        if (!c.storedOn) jail->addApp(terminal);
        loop.runPending();
        EXPECT_EQ(jail->jailedApps->size(), c.entries);
        ASSERT_TRUE(jail->lastSyncError.get()) << c.message;
        EXPECT_TRUE(jail->lastSyncError.get()->starts_with(c.message)) << *jail->lastSyncError.get();
    }
    EXPECT_THAT(daemon.commands(), IsEmpty());
}

}  // namespace
}  // namespace korvane::app
