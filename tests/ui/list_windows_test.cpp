// The list editors, the application chooser and drops, over fixture folders
// of desktop entries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include "app/ui/popover/app_list.h"
#include "app/ui/popover/application_catalog.h"
#include "app/ui/popover/application_picker.h"
#include "app/ui/popover/auto_trigger_settings_view.h"
#include "app/ui/popover/ecore_jail_view.h"
#include "app/ui/popover/toggle_switch.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::ui {
namespace {

class DesktopFolders : public ::testing::Test {
protected:
    DesktopFolders() {
        entry("home/applications/zeta.desktop", "Name=zeta\nIcon=zeta");
        entry("home/applications/beta.desktop", "Name=Beta");  // replaces the system's beta
        entry("system/applications/beta.desktop", "Name=Old Beta");
        entry("system/applications/Alpha.desktop", "Name=alpha");
        entry("system/applications/kde4/konsole.desktop", "Name=Konsole");
        entry("system/applications/settings.desktop", "Name=Aardvark Settings\nNoDisplay=true");
        entry("system/applications/gone.desktop", "Name=Aardvark Gone\nHidden=true");
        entry("system/applications/link.desktop", "Name=Aardvark Link", "Link");
        entry("system/applications/readme.txt", "Name=Aardvark Text");
        entry("elsewhere/tool.desktop", "Name=Loose Tool\nName[de]=Loses Werkzeug");
    }

    void entry(const std::string& path, const std::string& body, const std::string& type = "Application") {
        tree.write(path, "[Desktop Entry]\nType=" + type + "\n" + body + "\n");
    }

    std::vector<QString> folders() const { return {home, system}; }

    static QStringList names(const std::vector<ApplicationEntry>& entries) {
        QStringList out;
        for (const auto& entry : entries) out << entry.name;
        return out;
    }

    testing::FixtureTree tree;
    QString home = QString::fromStdString(tree.path("home"));
    QString system = QString::fromStdString(tree.path("system"));
    QString looseTool = QString::fromStdString(tree.path("elsewhere/tool.desktop"));
};

TEST_F(DesktopFolders, CatalogIsInNameOrderWithoutHiddenOrReplacedEntries) {
    const auto entries = installedApplications(folders());
    EXPECT_EQ(names(entries), (QStringList{"alpha", "Beta", "Konsole", "zeta"}));
    EXPECT_EQ(entries[2].id, "kde4-konsole");
    EXPECT_EQ(entries[1].path, home + "/applications/beta.desktop");

    // Outside the data folders the ID is the file name; NoDisplay entries can
    // still be picked by hand. (Link entries: the Browse test.)
    auto loose = readApplicationEntry(looseTool, folders());
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->id, "tool");
    // The name in the user's language, as the jail shows it.
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    loose = readApplicationEntry(looseTool, folders());
    ::unsetenv("LC_ALL");
    EXPECT_EQ(loose->name, "Loses Werkzeug");
    auto settings = readApplicationEntry(system + "/applications/settings.desktop", folders());
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->id, "settings");
    EXPECT_FALSE(readApplicationEntry(system + "/applications/readme.txt", folders()));
}

TEST_F(DesktopFolders, PickerHandsOverTheSelectionInListOrder) {
    ApplicationPicker picker(folders());
    QTreeWidget* list = picker.list();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_FALSE(picker.addButton()->isEnabled());
    // Picked bottom-up; confirmed top-down.
    list->topLevelItem(3)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    list->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(picker.addButton()->isEnabled());
    picker.addButton()->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(names(picker.chosen()), (QStringList{"alpha", "Konsole", "zeta"}));

    std::vector<std::pair<QString, QString>> added;
    AutoTriggerSettingsView view({[&](const QString& name, const QString& id) { added.emplace_back(name, id); }, {}, {}});
    view.addEntries(picker.chosen());
    EXPECT_EQ(added, (std::vector<std::pair<QString, QString>>{
                         {"alpha", "Alpha"}, {"Konsole", "kde4-konsole"}, {"zeta", "zeta"}}));

    // A search narrows the list, and the selection with it; it matches IDs too.
    ApplicationPicker searched(folders());
    searched.list()->selectAll();
    searched.searchField()->setText("KDE4");
    searched.addButton()->click();
    EXPECT_EQ(names(searched.chosen()), QStringList{"Konsole"});
}

// From the keyboard: typing marks the first match and Enter adds it, with one
// match or several; Down goes from the search field into the list.
TEST_F(DesktopFolders, EnterPicksTheMarkedMatchAndDownReachesTheList) {
    for (auto [typed, picked] : {std::pair{"kons", "Konsole"}, std::pair{"ta", "Beta"}}) {
        ApplicationPicker picker(folders());
        picker.show();
        QTest::keyClicks(picker.searchField(), typed);
        QTest::keyClick(picker.searchField(), Qt::Key_Return);
        EXPECT_EQ(picker.result(), QDialog::Accepted) << typed;
        EXPECT_EQ(names(picker.chosen()), QStringList{picked});
    }
    ApplicationPicker picker(folders());
    picker.show();
    QTest::keyClick(picker.searchField(), Qt::Key_Down);
    EXPECT_EQ(picker.focusWidget(), picker.list());
    QTest::keyClick(picker.list(), Qt::Key_Down);
    QTest::keyClick(picker.list(), Qt::Key_Return);
    EXPECT_EQ(names(picker.chosen()), QStringList{"Beta"});
}

TEST_F(DesktopFolders, BrowseReadsTheChosenFilesAndSkipsNonApplications) {
    ApplicationPicker picker(folders());
    picker.setBrowseFunction([&](QWidget*, const QString&) {
        return QStringList{looseTool, system + "/applications/link.desktop",
                           system + "/applications/kde4/konsole.desktop"};
    });
    picker.browseButton()->click();
    EXPECT_EQ(names(picker.chosen()), (QStringList{"Loose Tool", "Konsole"}));
}

void drop(QWidget& target, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &dropped);
}

TEST_F(DesktopFolders, DropsTakeDesktopEntriesOnly) {
    QStringList jailed;
    int triggers = 0;
    ECoreJailView jail({[&](const QString& path) { jailed << path; }, {}, {}, {}});
    AutoTriggerSettingsView trigger({[&](const QString&, const QString&) { ++triggers; }, {}, {}});

    const QList<QUrl> ignored = {QUrl::fromLocalFile(system + "/applications"),
                                 QUrl::fromLocalFile(system + "/applications/readme.txt"),
                                 QUrl("https://example.org/app.desktop")};
    drop(*jail.list(), ignored);
    drop(*trigger.list(), ignored);
    EXPECT_TRUE(jailed.isEmpty());
    EXPECT_EQ(triggers, 0);
    EXPECT_FALSE(jail.list()->isDragging());

    drop(*jail.list(), {QUrl::fromLocalFile(home + "/applications/zeta.desktop")});
    EXPECT_EQ(jailed, QStringList{home + "/applications/zeta.desktop"});
    // A link entry is no application: the trigger list gets nothing from it.
    drop(*trigger.list(), {QUrl::fromLocalFile(system + "/applications/link.desktop"),
                           QUrl::fromLocalFile(home + "/applications/zeta.desktop")});
    EXPECT_EQ(triggers, 1);
}

TEST(AutoTriggerSettingsView, BackClosesTheWindowOfItsTitleWithoutACloseAction) {
    QWidget window;
    window.setWindowTitle("Auto-Trigger");
    auto* view = new AutoTriggerSettingsView({}, TargetListTexts::autoTrigger(), &window);
    window.show();
    view->backButton()->click();
    EXPECT_FALSE(window.isVisible());

    int closes = 0;
    window.show();
    view->setCloseAction([&] { ++closes; });
    view->backButton()->click();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace korvane::ui
