// The settings store on real files in a private folder: defaults, data values,
// crash safety, a corrupt file, and edits made from outside.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "shared/util/atomic_file.h"
#include "app/runtime/settings_store.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    std::string path() const { return directory + "/settings.json"; }
    std::vector<std::string> filesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (auto& entry : fs::directory_iterator(directory)) {
            if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path().string());
        }
        return found;
    }
    static void writeInPlace(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::trunc) << text;
    }
    static std::string contentsOf(const std::string& file) {
        auto text = readWholeFile(file);
        return text ? *text : std::string("<unreadable>");
    }

    VirtualMainLoop loop;
    log::CapturedLines logLines;
    testing::FixtureTree root;
    std::string directory = root.path("config/korvane");  // created by the store
};

TEST_F(SettingsStoreTest, StoredValuesOutliveTheStoreAndDefaultsNeverHideThem) {
    const std::string binary("\xff\x00\x01 [{\"name\":", 13);
    {
        SettingsStore store(loop, directory);
        store.registerDefaults({{"showHeatmapInMenuBar", true}, {"greeting", std::string("hi")}});
        EXPECT_TRUE(store.boolValue("showHeatmapInMenuBar"));
        store.setBool("showHeatmapInMenuBar", false);
        store.setData("blob", binary);
    }
    SettingsStore reopened(loop, directory);
    reopened.registerDefaults({{"showHeatmapInMenuBar", true}});
    EXPECT_FALSE(reopened.boolValue("showHeatmapInMenuBar"));
    EXPECT_EQ(reopened.stringValue("greeting"), std::nullopt);  // defaults are never written
    EXPECT_EQ(reopened.dataValue("blob"), binary);              // kept byte for byte
    EXPECT_EQ(reopened.stringValue("blob"), std::nullopt);      // a data value is not a text
}

TEST_F(SettingsStoreTest, ACrashBetweenWritingAndRenamingLosesNothing) {
    {
        SettingsStore store(loop, directory);
        store.setBool("AutoFocusEnabled", true);
    }
    const std::string before = contentsOf(path());
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The new contents are flushed, then the process dies before they take the name.
        writeFileAtomically(path(), "{\"AutoFocusEnabled\": false}\n", [] { ::_exit(0); });
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(contentsOf(path()), before);
    EXPECT_EQ(filesStartingWith("settings.json.tmp-").size(), 1u);

    SettingsStore reopened(loop, directory);
    EXPECT_TRUE(reopened.boolValue("AutoFocusEnabled"));
    EXPECT_TRUE(filesStartingWith("settings.json.tmp-").empty());  // the orphan is cleared away
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsKeptAsideAndTheDefaultsAreUsed) {
    fs::create_directories(directory);
    writeInPlace(path(), "{\"showHeatmapInMenuBar\": false,");
    SettingsStore store(loop, directory);
    store.registerDefaults({{"showHeatmapInMenuBar", true}});
    EXPECT_TRUE(store.boolValue("showHeatmapInMenuBar"));

    auto aside = filesStartingWith("settings.json.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(contentsOf(aside[0]), "{\"showHeatmapInMenuBar\": false,");
    EXPECT_EQ(logLines.countStartingWith("Korvane: Ayar dosyası okunamadı"), 1);

    store.setBool("hasAcceptedEULAv2", true);  // a fresh file; the old one stays aside
    EXPECT_EQ(filesStartingWith("settings.json.corrupt-").size(), 1u);
    EXPECT_TRUE(SettingsStore(loop, directory).boolValue("hasAcceptedEULAv2"));
}

TEST_F(SettingsStoreTest, ABrokenOutsideEditIsKeptAsideAndTheHeldSettingsPutBack) {
    SettingsStore store(loop, directory);
    store.setBool("AutoTriggerEnabled", true);
    int announced = 0;
    auto token = store.didChange().subscribe([&](const Done&) { ++announced; });

    writeInPlace(path(), "{\"AutoTriggerEnabled\": fals");
    ASSERT_TRUE(loop.runUntil([&] { return filesStartingWith("settings.json.corrupt-").size() == 1; }));
    EXPECT_EQ(contentsOf(filesStartingWith("settings.json.corrupt-")[0]), "{\"AutoTriggerEnabled\": fals");
    EXPECT_TRUE(SettingsStore(loop, directory).boolValue("AutoTriggerEnabled"));
    EXPECT_TRUE(store.boolValue("AutoTriggerEnabled"));
    EXPECT_EQ(announced, 0);
}

TEST_F(SettingsStoreTest, AFileOver16MiBKeepsEverySettingThatStillReads) {
    fs::create_directories(directory);
    const std::string huge(17 << 20, 'x');
    const std::string original = R"({"AutoFocusTargets": {"data": "[{\"name\": \"IDE\"}]"}, )"
                                 R"("com.korvane.ecorejail.list": {"data": ")" + huge + R"("}, )"
                                 R"("hasAcceptedEULAv2": true, "showHeatmapInMenuBar": false})";
    writeInPlace(path(), original);
    {
        SettingsStore store(loop, directory);
        EXPECT_TRUE(store.boolValue("hasAcceptedEULAv2"));
        EXPECT_TRUE(store.hasStoredValue("showHeatmapInMenuBar"));
        EXPECT_EQ(store.dataValue("AutoFocusTargets"), R"([{"name": "IDE"}])");
        EXPECT_FALSE(store.hasStoredValue("com.korvane.ecorejail.list"));
    }
    auto aside = filesStartingWith("settings.json.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fs::file_size(aside[0]), original.size());
    EXPECT_TRUE(SettingsStore(loop, directory).boolValue("hasAcceptedEULAv2"));  // written back
    EXPECT_EQ(filesStartingWith("settings.json.corrupt-").size(), 1u);
}

TEST_F(SettingsStoreTest, ALinkedSettingsFileStaysALinkWhoseTargetIsWrittenAndFollowed) {
    const std::string target = root.write("dotfiles/korvane.json", R"({"hasAcceptedEULAv2": true})");
    fs::create_directories(directory);
    fs::create_symlink(target, path());
    SettingsStore store(loop, directory);
    int announced = 0;
    auto token = store.didChange().subscribe([&](const Done&) { ++announced; });
    EXPECT_TRUE(store.boolValue("hasAcceptedEULAv2"));
    store.setBool("NotificationsEnabled", true);
    EXPECT_EQ(announced, 1);  // our own change: at once, and its file event adds nothing
    EXPECT_TRUE(fs::is_symlink(path()));
    EXPECT_NE(contentsOf(target).find("NotificationsEnabled"), std::string::npos);

    // Edited in place by another program (a rename over it is the status bar's test).
    writeInPlace(target, R"({"hasAcceptedEULAv2": true, "NotificationsEnabled": false})");
    ASSERT_TRUE(loop.runUntil([&] { return announced == 2; }));
    EXPECT_FALSE(store.boolValue("NotificationsEnabled"));
    loop.runUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(announced, 2);
}

}  // namespace
}  // namespace korvane::app
