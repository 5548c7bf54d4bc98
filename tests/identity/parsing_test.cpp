#include <gtest/gtest.h>

#include "shared/identity/desktop_entry.h"
#include "shared/identity/unit_name.h"

namespace korvane::identity {
namespace {

TEST(UnitName, ApplicationIDsOfTheLauncherForms) {
    const std::pair<std::string, std::string> cases[] = {
        {"app-gnome-org.gnome.Calculator-12345.scope", "org.gnome.Calculator"},
        {"app-org.kde.konsole-4711.scope", "org.kde.konsole"},
        {"app-gnome-firefox\\x2desr-99.scope", "firefox-esr"},
        {"app-firefox\\x2desr-99.scope", "firefox-esr"},
        {"app-org.gnome.Terminal@b2c3.service", "org.gnome.Terminal"},
        {"app-kde-org.kde.dolphin@x1.service", "org.kde.dolphin"},
        {"app-gnome-xdg\\x2duser\\x2ddirs.service", "xdg-user-dirs"},
        {"app-flatpak-org.mozilla.firefox-4242.scope", "org.mozilla.firefox"},
        {"app-flatpak-com.example.My-App-77.scope", "com.example.My-App"},
        {"app-weird\\x20name-1.scope", "weird name"},
    };
    for (const auto& [unit, id] : cases) EXPECT_EQ(appIDFromUnitName(unit), id) << unit;
}

TEST(UnitName, OtherUnitsAndBrokenNamesGiveNothing) {
    for (const char* unit : {"session-2.scope", "user@1000.service", "app.slice", "app-foo.slice", "app-.service",
                             "app-gnome--1.scope", "app-foo-.scope", "app-a-b-c-d.scope", "app-a-b-c.service",
                             "app-bad\\x2.service", "app-bad\\xZZ-1.scope", "app-bad\\y41-1.scope", "app-x.scope"}) {
        EXPECT_EQ(appIDFromUnitName(unit), std::nullopt) << unit;
    }
}

TEST(DesktopEntryFile, TheNameInTheUsersLanguageFollowsTheLocaleFallbacks) {
    auto entry = parseDesktopEntry(
        "[Desktop Entry]\nType=Application\nName=Viewer\nName[sr]=Pregled-sr\nName[sr@latin]=Pregled-latin\n"
        "Name[sr_RS]=Pregled-RS\nName[pt_BR]=Visualizador\nName[pt_BR]=Second\n[Other]\nName[de]=Nope\n");
    ASSERT_TRUE(entry);
    const std::pair<std::string, std::string> cases[] = {
        {"sr_RS.UTF-8@latin", "Pregled-RS"},  // country beats modifier
        {"sr_ME.UTF-8@latin", "Pregled-latin"},
        {"sr_ME.UTF-8", "Pregled-sr"},
        {"pt_BR.UTF-8", "Visualizador"},  // the first of a repeated key counts
        {"pt_PT", "Viewer"},
        {"de_DE.UTF-8", "Viewer"},  // keys of other groups do not count
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

}  // namespace
}  // namespace korvane::identity
