#include <gtest/gtest.h>

#include "shared/identity/desktop_entry.h"
#include "shared/identity/desktop_session_rule.h"
#include "platform/linux/identity/desktop_index.h"
#include "shared/identity/unit_name.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::identity {
namespace {

// The launchers' forms give the application's ID; other units and broken
// names give nothing.
TEST(UnitName, ApplicationIDsOfTheLauncherForms) {
    const std::pair<std::string, std::string> cases[] = {
        {"app-gnome-org.gnome.Calculator-12345.scope", "org.gnome.Calculator"},
        {"app-org.kde.konsole-4711.scope", "org.kde.konsole"},
        {"app-gnome-firefox\\x2desr-99.scope", "firefox-esr"},
        {"app-org.gnome.Terminal@b2c3.service", "org.gnome.Terminal"},
        {"app-gnome-xdg\\x2duser\\x2ddirs.service", "xdg-user-dirs"},
        {"app-flatpak-org.mozilla.firefox-4242.scope", "org.mozilla.firefox"},
        {"app-flatpak-com.example.My-App-77.scope", "com.example.My-App"},
        {"app-weird\\x20name-1.scope", "weird name"},
    };
    for (const auto& [unit, id] : cases) EXPECT_EQ(appIDFromUnitName(unit), id) << unit;
    for (const char* unit : {"session-2.scope", "user@1000.service", "app.slice", "app-foo.slice", "app-.service",
                             "app-gnome--1.scope", "app-foo-.scope", "app-a-b-c-d.scope", "app-a-b-c.service",
                             "app-bad\\x2.service", "app-bad\\xZZ-1.scope", "app-bad\\y41-1.scope", "app-x.scope"}) {
        EXPECT_EQ(appIDFromUnitName(unit), std::nullopt) << unit;
    }
}

// What systemd would answer for a process's units, read from its cgroup.
TEST(UnitName, UnitsOfACgroupPathAsSystemdReadsThem) {
    auto units = unitsFromCgroup(
        "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.gnome.Terminal.slice/"
        "app-gnome-org.gnome.Terminal-2211.scope\n");
    EXPECT_EQ(units.systemUnit, "user@1000.service");
    EXPECT_EQ(units.userUnit, "app-gnome-org.gnome.Terminal-2211.scope");

    units = unitsFromCgroup("0::/user.slice/user-1000.slice/session-2.scope\n");
    EXPECT_EQ(units.systemUnit, "session-2.scope");
    EXPECT_EQ(units.userUnit, std::nullopt) << "a login session is no user unit";

    units = unitsFromCgroup("0::/system.slice/_cron.service/child\n");
    EXPECT_EQ(units.systemUnit, "cron.service");
    EXPECT_EQ(units.userUnit, std::nullopt);

    // cgroup v1: the named systemd hierarchy, whatever else is listed.
    units = unitsFromCgroup("12:cpu,cpuacct:/\n1:name=systemd:/user.slice/user-5.slice/user@5.service/"
                            "app.slice/app-firefox@1.service\n");
    EXPECT_EQ(units.userUnit, "app-firefox@1.service");

    for (const char* none : {"0::/\n", "0::/user.slice\n", "0::/user.slice/not-a-unit\n", "", "garbage"}) {
        EXPECT_EQ(unitsFromCgroup(none).systemUnit, std::nullopt) << none;
        EXPECT_EQ(unitsFromCgroup(none).userUnit, std::nullopt) << none;
    }
}

TEST(DesktopEntryFile, TheNameInTheUsersLanguageFollowsTheLocaleFallbacks) {
    auto entry = parseDesktopEntry(
        "[Desktop Entry]\nType=Application\nName=Viewer\nName[sr]=Pregled-sr\nName[sr@latin]=Pregled-latin\n"
        "Name[sr_RS]=Pregled-RS\nName[pt_BR]=Visualizador\nName[pt_BR]=Second\nName[de]=Dateien\n"
        "Name[de_AT]=Dateien (AT)\nName[fr]=\n[Other]\nName[it]=Nope\n");
    ASSERT_TRUE(entry);
    const std::pair<std::string, std::string> cases[] = {
        {"sr_RS.UTF-8@latin", "Pregled-RS"},  // country beats modifier
        {"sr_ME.UTF-8@latin", "Pregled-latin"},
        {"sr_ME.UTF-8", "Pregled-sr"},
        {"pt_BR.UTF-8", "Visualizador"},  // the first of a repeated key counts
        {"pt_PT", "Viewer"},
        {"de_AT.UTF-8", "Dateien (AT)"},
        {"de", "Dateien"},
        {"fr_FR.UTF-8", "Viewer"},  // an empty translation is none
        {"it_IT.UTF-8", "Viewer"},  // keys of other groups do not count
        {"C", "Viewer"},
        {"", "Viewer"},
    };
    for (const auto& [locale, name] : cases) EXPECT_EQ(localizedName(*entry, locale), name) << locale;
}

TEST(DesktopEntryFile, ReadsTheFirstDesktopEntryGroupOnly) {
    auto entry = parseDesktopEntry(
        "# comment\n[Desktop Action new]\nName=Wrong\n"
        "[Desktop Entry]\nType = Application\nName[de]=Rechner\nName=Calc\\sulator\nName=Second\n"
        "Exec=\"/opt/My App/run\" --x %U\nHidden=true\r\n[Desktop Entry]\nIcon=late\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->type, "Application");
    EXPECT_EQ(entry->name, "Calc ulator");
    EXPECT_TRUE(entry->hidden);
    EXPECT_EQ(entry->icon, "");
    EXPECT_FALSE(entry->identifiesApplication());
    EXPECT_EQ(firstExecWord(entry->exec), "/opt/My App/run");
    EXPECT_EQ(firstExecWord("  gimp-2.10 %U"), "gimp-2.10");
    EXPECT_EQ(firstExecWord("\"/bin/a\\\"b\" x"), "/bin/a\"b");
    EXPECT_EQ(firstExecWord("\"/bin/unterminated"), "");
    EXPECT_FALSE(parseDesktopEntry("[Other]\nName=x\n"));
}

// What a folder's index takes is bounded: an entry over the size limit is
// left out, and once the folder's budget is spent the rest are too.
TEST(DataFolderIndexLimits, OversizedEntriesAndEntriesPastTheBudgetAreLeftOut) {
    testing::FixtureTree data;
    auto entry = [](const std::string& name, std::size_t padding) {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\n#" + std::string(padding, 'x') + "\n";
    };
    data.write("applications/huge.desktop", entry("Huge", kMaxEntryBytes));
    for (int i = 0; i < 10; ++i) data.write("applications/e" + std::to_string(i) + ".desktop", entry("E", 1000));
    ExecutableSearch search({});
    DataFolderIndex index({data.root(), std::nullopt}, search, 5000);
    EXPECT_EQ(index.entryWithID("huge"), nullptr);
    int indexed = 0;
    for (int i = 0; i < 10; ++i) indexed += index.entryWithID("e" + std::to_string(i)) ? 1 : 0;
    EXPECT_EQ(indexed, 4) << "each entry is about 1 KiB of a 5000-byte budget";
    EXPECT_LE(index.bytesRead(), 5000u);
}

TEST(DesktopSessionRule, ASessionRoleIsDeclaredByTheDesktopsStartKeysNotByHiding) {
    const std::pair<const char*, bool> cases[] = {
        {"X-GNOME-Provides=windowmanager\nNoDisplay=true", true},  // openbox, gnome-shell
        {"X-GNOME-Autostart-Phase=Initialization", true},
        {"X-GNOME-Autostart-Phase=Applications", false},  // an ordinary program started at login
        {"X-MATE-Autostart-Phase=Panel", true},
        {"X-KDE-autostart-phase=0", true},
        {"X-KDE-autostart-phase=2", false},
        {"NoDisplay=true", false},  // an application's hidden helper entry
    };
    for (const auto& [keys, role] : cases) {
        auto entry = parseDesktopEntry(std::string("[Desktop Entry]\nType=Application\nName=X\n") + keys + "\n");
        ASSERT_TRUE(entry);
        EXPECT_EQ(declaresSessionRole(*entry), role) << keys;
    }
    EXPECT_TRUE(isKnownDesktopProgram("Xwayland"));
    EXPECT_FALSE(isKnownDesktopProgram("firefox-esr"));
}

TEST(DesktopSessionRule, OnlyListeningDisplaySocketsCount) {
    const std::string listing =
        "Num       RefCount Protocol Flags    Type St Inode Path\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 101 /tmp/.X11-unix/X0\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 102 @/tmp/.X11-unix/X12\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 103 /run/user/1000/wayland-1\n"
        "0000000000000000: 00000003 00000000 00000000 0001 03 104 /tmp/.X11-unix/X0\n"    // a connection
        "0000000000000000: 00000002 00000000 00010000 0001 01 105 /run/user/1000/bus\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 106 /tmp/.X11-unix/X0.bak\n"
        "0000000000000000: 00000002 00000000 00010000 0001 01 107\n";
    EXPECT_EQ(listeningDisplaySockets(listing), (std::set<std::uint64_t>{101, 102, 103}));
}

}  // namespace
}  // namespace korvane::identity
