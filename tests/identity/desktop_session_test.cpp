// The desktop's own processes found in a fixture /proc and autostart folder.
// A known program (openbox, trayer) is the X11 end-to-end run's
// (FocusOnX11.BeastModeNeverConfinesTheDesktopItself), the rules themselves
// parsing_test's.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/identity/desktop_session.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::identity {
namespace {

namespace fs = std::filesystem;

TEST(DesktopSession, SessionRolesAndTheDisplaysListenersAreTheDesktops) {
    testing::FixtureTree tree;
    auto process = [&](int pid, const std::string& program, const std::string& socketInode = {}) {
        const std::string folder = tree.mkdir("proc/" + std::to_string(pid) + "/fd");
        fs::create_symlink(program, folder + "/../exe");
        tree.write("proc/" + std::to_string(pid) + "/stat", std::to_string(pid) + " (x) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 "
                                                              "20 0 1 0 " + std::to_string(1000 + pid) + " 0 0\n");
        if (!socketInode.empty()) fs::create_symlink("socket:[" + socketInode + "]", folder + "/3");
    };
    tree.write("proc/net/unix",
               "Num       RefCount Protocol Flags    Type St Inode Path\n"
               "0000000000000000: 00000002 00000000 00010000 0001 01 555 /run/user/1000/wayland-0\n");
    tree.write("xdg/autostart/my-panel.desktop",
               "[Desktop Entry]\nType=Application\nName=Panel\nExec=/opt/panel/my-panel --start\n"
               "X-GNOME-Autostart-Phase=Panel\n");
    process(11, "/opt/panel/my-panel");
    process(12, "/usr/bin/my-shell");
    process(13, "/usr/local/bin/my-compositor", "555");
    process(14, "/usr/bin/editor", "556");

    DesktopSession session({.procRoot = tree.path("proc"), .autostartFolders = {tree.path("xdg/autostart")}});
    auto entryWith = [](const std::string& keys) {
        return [keys] { return parseDesktopEntry("[Desktop Entry]\nType=Application\nName=X\n" + keys); };
    };
    EXPECT_TRUE(session.isDesktopProcess(11, entryWith("")));                                  // autostarted in a role
    EXPECT_TRUE(session.isDesktopProcess(12, entryWith("X-GNOME-Provides=panel;windowmanager\n")));
    EXPECT_TRUE(session.isDesktopProcess(13, entryWith("")));                                  // serves wayland-0
    EXPECT_FALSE(session.isDesktopProcess(14, entryWith("")));                                 // listens elsewhere
    EXPECT_FALSE(session.isDesktopProcess(15, entryWith("")));                                 // gone
}

}  // namespace
}  // namespace korvane::identity
