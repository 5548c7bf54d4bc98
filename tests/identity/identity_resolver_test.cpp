#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "tests/identity/identity_world.h"

namespace korvane::identity {
namespace {

std::string environ(std::initializer_list<std::string> variables) {
    std::string joined;
    for (const auto& v : variables) joined += v + '\0';
    return joined;
}

class Identity : public testing::IdentityWorld {
protected:
    std::optional<std::string> idOf(int pid) {
        auto found = resolver.identify(pid);
        return found ? std::optional(found->appID) : std::nullopt;
    }
};

TEST_F(Identity, SourcesAreAskedInOrder) {
    units.user[10] = "app-gnome-org.example.Editor-99.scope";
    process(10, "root/.flatpak-info", "[Application]\nname=org.other.App\n");
    auto found = resolver.identify(10);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->appID, "org.example.Editor");
    EXPECT_EQ(found->origin, (AppOrigin{OriginKind::SystemdUnit, "app-gnome-org.example.Editor-99.scope"}));

    // A process of the user's manager outside an app unit: the system manager
    // is not asked, the sandbox speaks.
    units.user[11] = "gnome-terminal-server.service";
    units.system[11] = "app-wrong-1.scope";
    process(11, "root/.flatpak-info", "[Instance]\nname=not-this\n[Application]\nname = org.mozilla.firefox\n");
    EXPECT_EQ(idOf(11), "org.mozilla.firefox");
    EXPECT_EQ(units.systemQuestions, 0);

    units.system[12] = "app-org.example.Daemon@x.service";
    EXPECT_EQ(idOf(12), "org.example.Daemon");

    process(13, "attr/current", "snap.firefox.firefox (enforce)\n");
    process(14, "attr/current", "snap.lxd.hook.configure (enforce)\n");
    process(15, "attr/current", "unconfined\n");
    EXPECT_EQ(idOf(13), "firefox_firefox");
    EXPECT_EQ(idOf(14), std::nullopt);
    EXPECT_EQ(idOf(15), std::nullopt);
    EXPECT_EQ(idOf(16), std::nullopt);  // gone
    units.user[17] = "app-not-a-launcher-form.scope";
    process(17, "attr/current", "snap.vlc.vlc (enforce)\n");
    EXPECT_EQ(idOf(17), "vlc_vlc");
}

TEST_F(Identity, LaunchVariablesCountOnlyForTheLaunchedProcess) {
    std::string viewer = entry(usr, "org.example.Viewer.desktop", "Exec=viewer-not-installed\n");
    process(20, "environ", environ({"GIO_LAUNCHED_DESKTOP_FILE=" + viewer, "GIO_LAUNCHED_DESKTOP_FILE_PID=20"}));
    process(21, "environ", environ({"GIO_LAUNCHED_DESKTOP_FILE=" + viewer, "GIO_LAUNCHED_DESKTOP_FILE_PID=20"}));
    process(22, "environ", environ({"GIO_LAUNCHED_DESKTOP_FILE=" + viewer, "GIO_LAUNCHED_DESKTOP_FILE_PID=22x"}));
    auto found = resolver.identify(20);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->appID, "org.example.Viewer");
    EXPECT_EQ(found->origin, (AppOrigin{OriginKind::DesktopEntry, viewer}));
    EXPECT_EQ(idOf(21), std::nullopt);
    EXPECT_EQ(idOf(22), std::nullopt);

    // A file outside the indexed folders is never opened: this FIFO would
    // block a reader.
    std::string fifo = tree.path("elsewhere.desktop");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    process(23, "environ", environ({"GIO_LAUNCHED_DESKTOP_FILE=" + fifo, "GIO_LAUNCHED_DESKTOP_FILE_PID=23"}));
    EXPECT_EQ(idOf(23), std::nullopt);
}

TEST_F(Identity, ExecutablesMatchTryExecOrTheFirstExecWordThroughThePath) {
    std::string editor = tree.executable("bin/editor");
    std::string tool = tree.executable("bin/My Tool");
    std::string helper = tree.executable("bin/helper");
    entry(usr, "org.example.Editor.desktop", "Exec=editor %F\n");
    entry(usr, "tool.desktop", "Exec=\"" + tool + "\" --x\n");
    entry(usr, "kde4/konsole.desktop", "TryExec=helper\nExec=wrapper-not-installed\n");
    runs(30, editor);
    runs(31, tool);
    runs(32, helper);
    runs(33, editor + " (deleted)");
    process(34, "cmdline", environ({"editor", "--new"}));
    runs(35, tree.executable("bin/unknown"));
    EXPECT_EQ(idOf(30), "org.example.Editor");
    EXPECT_EQ(idOf(31), "tool");
    EXPECT_EQ(idOf(32), "kde4-konsole");
    EXPECT_EQ(idOf(33), "org.example.Editor");
    EXPECT_EQ(idOf(34), "org.example.Editor");
    EXPECT_EQ(idOf(35), std::nullopt);

    // Of two entries starting one program, the one named after it wins.
    std::string paint = tree.executable("bin/paint");
    entry(usr, "aaa.desktop", "Exec=paint\n");
    entry(usr, "paint.desktop", "Exec=paint\n");
    resolver.refresh();
    runs(36, paint);
    EXPECT_EQ(idOf(36), "paint");
}

TEST_F(Identity, HiddenEntriesAndPrecedenceBetweenDataFolders) {
    std::string editor = tree.executable("bin/editor");
    std::string paint = tree.executable("bin/paint");
    std::string paint2 = tree.executable("bin/paint2");
    entry(usr, "org.example.Editor.desktop", "Name=System Editor\nExec=editor\n");
    entry(local, "org.example.Editor.desktop", "Name=Local Editor\nExec=editor\n");
    entry(usr, "org.example.Paint.desktop", "Exec=paint\n");
    entry(local, "org.example.Paint.desktop", "Exec=paint2\n");
    runs(40, editor);
    runs(41, paint);
    runs(42, paint2);
    EXPECT_EQ(idOf(40), "org.example.Editor");
    EXPECT_EQ(resolver.desktopEntryFor(40, "org.example.Editor")->name, "Local Editor");
    EXPECT_EQ(idOf(41), std::nullopt);  // its entry is replaced by one that starts paint2
    EXPECT_EQ(idOf(42), "org.example.Paint");

    // The user's own data home comes first; a hidden entry there deletes the
    // application for that user only.
    entry(home, "org.example.Editor.desktop", "Hidden=true\n");
    resolver.refresh();
    EXPECT_EQ(idOf(40), std::nullopt);
    EXPECT_FALSE(resolver.desktopEntryFor(40, "org.example.Editor"));
    runs(43, editor);
    process(43, "environ", environ({"XDG_DATA_HOME=" + tree.path("other")}));
    EXPECT_EQ(idOf(43), "org.example.Editor");
}

TEST_F(Identity, EntriesAreReadAgainOnlyWhenTheirFoldersChange) {
    std::string newApp = tree.executable("bin/newapp");
    std::filesystem::create_directories(usr + "/applications/sub");
    // Folders that changed a moment ago are read again once more, as their
    // time may not have moved with a later change; age them so they count
    // as settled.
    auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& folder : {usr + "/applications", usr + "/applications/sub"}) {
        std::filesystem::last_write_time(folder, past);
    }
    ASSERT_EQ(::mkfifo((usr + "/applications/blocking.desktop").c_str(), 0600), 0);
    runs(50, newApp);
    EXPECT_EQ(idOf(50), std::nullopt);
    std::filesystem::last_write_time(usr + "/applications", past);
    resolver.refresh();
    auto generation = resolver.generation();
    resolver.refresh();
    EXPECT_EQ(resolver.generation(), generation);

    entry(usr, "sub/newapp.desktop", "Exec=newapp\n");
    EXPECT_EQ(idOf(50), std::nullopt);  // not before the next refresh
    resolver.refresh();
    EXPECT_NE(resolver.generation(), generation);
    EXPECT_EQ(idOf(50), "sub-newapp");
    // Only answers that rest on the changed folder need finding again.
    EXPECT_GT(resolver.lastChangeOf({usr}), generation);
    EXPECT_LE(resolver.lastChangeOf({local, home}), generation);
    EXPECT_EQ(resolver.findOrigin(50).folders, (std::vector<std::string>{home, home + "/flatpak/exports/share", local, usr}));
}

}  // namespace
}  // namespace korvane::identity
