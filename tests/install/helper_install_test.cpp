// Installing and removing through XPCManager: the real helper, real files and
// a real shell behind a stand-in for pkexec that runs as the test (root) or
// acts out a dismissed dialog.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "shared/log/log.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/started_program.h"
#include "tests/install/installed_root.h"

namespace korvane::app {
namespace {

using testing::InstalledRoot;
namespace fs = std::filesystem;

class HelperInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "installs root-owned files";
        source = root.shipHelper();
    }

    XPCManager& manager(const std::string& privilegeRunner) {
        client.emplace(root, HelperInstallSetup{.privilegeRunner = privilegeRunner,
                                                .sourceExecutable = source,
                                                .installScript = KORVANE_INSTALL_SCRIPT,
                                                .allowedUid = ::getuid(),
                                                .systemdRunning = false});
        return client->xpc;
    }
    bool install() { return client->install(); }

    log::CapturedLines logLines;
    InstalledRoot root;
    std::string source;
    std::optional<testing::InstallingClient> client;
};

TEST_F(HelperInstall, WhileTheHelperAnswersNothingIsAskedAndItIsInstalled) {
    fs::create_directories(root.files.runDirectory());
    testing::ServedFakeHelper running(root.files.socket());
    ASSERT_TRUE(running.listening);
    auto& xpc = manager(root.privilegeRunner());

    ASSERT_TRUE(install());
    EXPECT_TRUE(xpc.helperInstalled.get());
    EXPECT_EQ(root.runs(), 0);
}

TEST_F(HelperInstall, ADismissedDialogIsACancellationAndARefusalShowsTheRunnersWords) {
    auto& xpc = manager(root.privilegeRunner(126, "Error executing command as another user: Request dismissed"));
    ASSERT_TRUE(install());
    EXPECT_EQ(xpc.lastError.get(), "Installation cancelled by user.");
    EXPECT_FALSE(xpc.helperInstalled.get());
    EXPECT_EQ(root.runs(), 1);
    EXPECT_FALSE(fs::exists(root.files.tool()));

    // pkexec's 127: not authorized, or no agent to ask.
    std::string refusal = "Error executing command as another user: Not authorized";
    auto& refused = manager(root.privilegeRunner(127, refusal));
    ASSERT_TRUE(install());
    // Its words go to the log only; the user reads what to do.
    ASSERT_TRUE(refused.lastError.get());
    EXPECT_TRUE(refused.lastError.get()->starts_with(XPCManager::kNoApprovalError)) << *refused.lastError.get();
    EXPECT_TRUE(refused.lastError.get()->find("sudo ") != std::string::npos) << *refused.lastError.get();
    EXPECT_EQ(refused.lastError.get()->find("Error executing"), std::string::npos);
    EXPECT_TRUE(logLines.contains("Korvane: Daemon kurulumu başarısız (exit=127) — " + refusal));
    EXPECT_FALSE(refused.helperInstalled.get());
}

TEST_F(HelperInstall, AsRootTheScriptRunsWithoutARunnerAndTheTerminalCommandInstallsAsPrinted) {
    // Korvane run as root needs no pkexec: the script is run as it is.
    auto& xpc = manager("");
    ASSERT_TRUE(install());
    EXPECT_EQ(xpc.lastError.get(), std::nullopt);
    EXPECT_TRUE(xpc.helperActive.get());
    xpc.removeHelper();
    EXPECT_FALSE(fs::exists(root.files.tool()) || root.helperRunning());

    // The line the install page shows where pkexec cannot ask, typed into a
    // shell: a helper under a folder the shell would split must still be found.
    std::string odd = root.shipHelper("it's a build/com.korvane.helper");
    HelperInstallSetup setup{.privilegeRunner = "/usr/bin/pkexec",
                             .sourceExecutable = odd,
                             .installScript = KORVANE_INSTALL_SCRIPT,
                             .allowedUid = ::getuid()};
    auto line = terminalInstallCommand(setup, root.tree.root());
    ASSERT_TRUE(line);
    ASSERT_TRUE(line->starts_with("sudo ")) << *line;
    auto typed = testing::runCommand({"/bin/sh", "-c", line->substr(5)});
    EXPECT_EQ(typed.exitStatus, 0) << *line << "\n" << typed.out << typed.err;
    EXPECT_EQ(testing::readText(root.files.tool()), testing::readText(odd));
    EXPECT_TRUE(root.helperRunning());
}

TEST_F(HelperInstall, AReinstallStopsTheOldHelperFirstAndRunsTheNewExecutable) {
    // An old helper that no longer answers, and a stale pid file from before
    // that happens to name an unrelated process: only the first is stopped.
    fs::create_directories(fs::path(root.files.tool()).parent_path());
    fs::copy_file(source, root.files.tool());
    fs::create_directories(root.files.runDirectory());
    testing::StartedProgram oldHelper({"/bin/bash", "-c", "exec -a '" + root.files.tool() + "' sleep 60"});
    testing::StartedProgram bystander({"/bin/sleep", "60"});
    ASSERT_TRUE(testing::eventually([&] { return testing::firstWordOf(oldHelper.pid()) == root.files.tool(); },
                                 std::chrono::seconds(10)));
    std::ofstream(root.files.pidFile()) << bystander.pid() << "\n";
    auto& xpc = manager(root.privilegeRunner());
    ASSERT_TRUE(install());
    EXPECT_TRUE(xpc.helperActive.get());
    EXPECT_FALSE(bystander.exited());

    xpc.removeHelper();
    fs::create_directories(root.files.runDirectory());
    fs::create_directories(fs::path(root.files.tool()).parent_path());
    std::ofstream(root.files.pidFile()) << oldHelper.pid() << "\n";
    fs::copy_file(source, root.files.tool());
    // A changed executable: the same helper with bytes appended.
    std::ofstream(source, std::ios::app | std::ios::binary) << "changed";
    ASSERT_TRUE(install());
    EXPECT_TRUE(xpc.helperActive.get());
    EXPECT_TRUE(oldHelper.exited()) << "the old helper was left running";
    EXPECT_EQ(testing::readText(root.files.tool()), testing::readText(source));
    EXPECT_TRUE(root.helperRunning());
}

TEST_F(HelperInstall, RemovingWithNoFilesAsksNothingAndACancelledRemovalStillShowsNotInstalled) {
    auto& xpc = manager(root.privilegeRunner(126));
    xpc.helperInstalled = true;
    xpc.throttledPIDs = std::set<std::int32_t>{7};
    xpc.removeHelper();
    EXPECT_EQ(root.runs(), 0);
    EXPECT_FALSE(xpc.helperInstalled.get() || xpc.isProcessing.get());
    EXPECT_TRUE(xpc.throttledPIDs.get().empty());

    root.tree.write(root.files.unit().substr(root.tree.root().size() + 1), "unit");
    xpc.helperInstalled = true;
    xpc.helperActive = true;
    logLines.clear();
    xpc.removeHelper();
    EXPECT_EQ(root.runs(), 1);
    EXPECT_FALSE(xpc.helperInstalled.get() || xpc.helperActive.get() || xpc.isProcessing.get());
    EXPECT_EQ(xpc.lastError.get(), std::nullopt);
    EXPECT_TRUE(fs::exists(root.files.unit()));
    EXPECT_EQ(logLines.countStartingWith("Korvane: Daemon kaldır"), 0);
}

}  // namespace
}  // namespace korvane::app
