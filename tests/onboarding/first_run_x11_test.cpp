// The first-run windows on a real X server (Xvfb) under a real window
// manager (openbox): sizes and titles as the window manager sees them, the
// agreement's close button quitting, the setup window refusing to close.
// Screenshots of both go to the test's working folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

std::optional<std::string> onPath(const std::string& name) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string folder; std::getline(path, folder, ':');) {
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

template <class Check>
bool within(std::chrono::milliseconds limit, Check check) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!check()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class FirstRunOnX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"}) {
            if (!onPath(tool))
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
        }
        std::string displayFile = tree.path("display");
        server = std::make_unique<StartedProgram>(std::vector<std::string>{
            "/bin/sh", "-c",
            "exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>'" + displayFile + "'"});
        ASSERT_TRUE(within(10s, [&] {
            std::ifstream in(displayFile);
            std::string number;
            return static_cast<bool>(in >> number) && (display = ":" + number, true);
        })) << "Xvfb did not start";
        env = {{"DISPLAY", display},
               {"QT_QPA_PLATFORM", "xcb"},
               {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
               {"XDG_CONFIG_HOME", tree.mkdir("config")},
               {"HOME", tree.root()}};
        windowManager =
            std::make_unique<StartedProgram>(std::vector<std::string>{*onPath("openbox")}, env);
        ASSERT_TRUE(within(10s, [&] {
            return xdotool({"search", "--class", "openbox"}).exitStatus != 2;
        }));
        std::this_thread::sleep_for(500ms);
    }

    CommandResult xdotool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), *onPath("xdotool"));
        return runCommand(arguments, env);
    }

    // The one visible window named exactly `title`, once it is mapped.
    std::string windowNamed(const std::string& title) {
        std::string id;
        within(15s, [&] {
            CommandResult found = xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
            std::istringstream lines(found.out);
            return static_cast<bool>(std::getline(lines, id)) && !id.empty();
        });
        return id;
    }

    std::string geometry(const std::string& window) {
        CommandResult shape = xdotool({"getwindowgeometry", "--shell", window});
        std::istringstream lines(shape.out);
        std::string width, height;
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("WIDTH=")) width = line.substr(6);
            if (line.starts_with("HEIGHT=")) height = line.substr(7);
        }
        return width + "x" + height;
    }

    // Asks the window manager to close the window, as its close button or Alt+F4 does.
    void requestClose(const std::string& window) {
        xdotool({"windowactivate", "--sync", window});
        xdotool({"key", "--clearmodifiers", "alt+F4"});
    }

    void screenshot(const std::string& name) {
        if (auto import = onPath("import")) {
            runCommand(
                {*import, "-window", "root", std::filesystem::current_path() / (name + ".png")},
                env);
        }
    }

    FixtureTree tree;
    std::string display;
    Environment env;
    std::unique_ptr<StartedProgram> server;
    std::unique_ptr<StartedProgram> windowManager;
};

TEST_F(FirstRunOnX11, ClosingTheAgreementWithoutAcceptingQuits) {
    StartedProgram preview({KORVANE_PREVIEW_BINARY}, env);
    std::string window = windowNamed("Korvane");
    ASSERT_FALSE(window.empty()) << "no agreement window";
    EXPECT_EQ(geometry(window), "450x350");
    screenshot("first-run-agreement");
    requestClose(window);
    ASSERT_TRUE(within(10s, [&] { return preview.exited(); }))
        << "closing the agreement did not quit";
}

TEST_F(FirstRunOnX11, AcceptingOpensTheSetupWindowWhichRefusesToClose) {
    std::string out = tree.path("preview.out");
    StartedProgram preview(
        {"/bin/sh", "-c", std::string("exec '") + KORVANE_PREVIEW_BINARY + "' > '" + out + "'"},
        env);
    std::string agreement = windowNamed("Korvane");
    ASSERT_FALSE(agreement.empty());
    // The agree button sits at the lower right of the agreement window.
    xdotool({"mousemove", "--window", agreement, "375", "318", "click", "1"});
    std::string setup = windowNamed("Korvane Setup");
    ASSERT_FALSE(setup.empty()) << "no setup window after accepting";
    EXPECT_EQ(tree.read("preview.out"), "accepted\n");
    EXPECT_EQ(geometry(setup), "580x520");
    screenshot("first-run-setup");
    requestClose(setup);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(preview.exited());
    EXPECT_EQ(windowNamed("Korvane Setup"), setup);
}

}  // namespace
}  // namespace korvane::testing
