// Install, remove and install again (the popover's Reinstall), as Korvane
// finds and runs them, from each way Korvane reaches a machine: the build
// tree, `cmake --install` and the Debian package. Each goes into a private
// root through a stand-in for pkexec, as root's files with the helper
// started; removing stops it and takes every file but the shipped helper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/linux/install/helper_install_environment.h"
#include "shared/log/log.h"
#include "tests/fakes/started_program.h"
#include "tests/install/installed_root.h"

namespace korvane::app {
namespace {

namespace fs = std::filesystem;
using testing::InstalledRoot;

class InstallRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "installs root-owned files";
    }

    // Korvane at `program` installs, removes, installs again and removes.
    void exercise(const std::string& program) {
        linux_platform::InstallEnvironment environment{
            .programPath = program, .installRoot = root.tree.root(), .privilegeRunner = root.privilegeRunner()};
        linux_platform::SpawnProcessRunner runner;
        HelperInstallSetup setup = linux_platform::detectHelperInstallSetup(environment, runner);
        ASSERT_NE(setup.installScript, "");
        ASSERT_TRUE(fs::exists(setup.sourceExecutable)) << setup.sourceExecutable;
        testing::InstallingClient client(root, setup);
        XPCManager& xpc = client.xpc;

        auto installs = [&](const char* when) {
            ASSERT_TRUE(client.install());
            EXPECT_EQ(xpc.lastError.get(), std::nullopt) << when;
            EXPECT_TRUE(xpc.helperActive.get() && xpc.helperInstalled.get()) << when;
            EXPECT_TRUE(root.helperRunning()) << when;
        };
        auto removes = [&](const char* when) {
            pid_t helper = root.helperPid();
            xpc.throttledPIDs = std::set<std::int32_t>{42};
            xpc.removeHelper();
            EXPECT_FALSE(xpc.helperInstalled.get() || xpc.helperActive.get() || xpc.isProcessing.get()) << when;
            EXPECT_TRUE(xpc.throttledPIDs.get().empty()) << when;
            EXPECT_FALSE(fs::exists(root.files.tool()) || fs::exists(root.files.unit()) || fs::exists(root.files.pidFile()))
                << when;
            EXPECT_NE(testing::firstWordOf(helper), root.files.tool()) << when << ": the helper still runs";
            EXPECT_TRUE(fs::exists(setup.sourceExecutable)) << when << ": the shipped helper was deleted";
        };
        installs("first install");
        // Root's files, the tool readable and runnable by root alone; the
        // script's progress arrives line by line, the last once the helper answers.
        EXPECT_EQ(InstalledRoot::modeOf(root.files.tool()), 0544U);
        EXPECT_EQ(InstalledRoot::modeOf(root.files.unit()), 0644U);
        EXPECT_TRUE(InstalledRoot::rootOwned(root.files.tool()) && InstalledRoot::rootOwned(root.files.unit()));
        EXPECT_EQ(InstalledRoot::modeOf(root.files.runDirectory()), 0755U);
        EXPECT_EQ(testing::readText(root.files.tool()), testing::readText(setup.sourceExecutable));
        auto progress = xpc.installProgress.get();
        ASSERT_GE(progress.size(), 2U);
        EXPECT_EQ(progress.front().kind, InstallProgressKind::step);
        EXPECT_EQ(progress.back(), (InstallProgressLine{InstallProgressKind::success, "Done"}));
        removes("removal");
        // Installing again, as Reinstall does after its removal.
        installs("second install");
        removes("last removal");
    }

    // The programs land in the private root itself, so with the default
    // prefix the shipped helper and the installed tool share a folder.
    std::string unpacked() const { return root.tree.root(); }

    log::CapturedLines logLines;
    InstalledRoot root;
};

TEST_F(InstallRoutes, FromTheBuildTree) { exercise(KORVANE_BUILD_DIR "/app/shell/korvane"); }

// With the default prefix, where the installed tool lives too.
TEST_F(InstallRoutes, FromCmakeInstall) {
    auto installed = testing::runCommand({"/usr/bin/cmake", "--install", KORVANE_BUILD_DIR, "--prefix", "/usr/local"},
                                         {{"DESTDIR", unpacked()}});
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    exercise(unpacked() + "/usr/local/bin/korvane");
}

TEST_F(InstallRoutes, FromTheDebianPackage) {
    if (!fs::exists("/usr/bin/dpkg-deb") || !fs::exists("/usr/bin/dpkg-shlibdeps")) GTEST_SKIP() << "no dpkg tools";
    std::string out = root.tree.mkdir("package");  // beside, not in, the installed files
    auto packed = testing::runCommand(
        {"/usr/bin/cpack", "--config", KORVANE_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", out});
    ASSERT_EQ(packed.exitStatus, 0) << packed.out << packed.err;
    std::optional<std::string> deb;
    for (const auto& entry : fs::directory_iterator(out)) {
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    }
    ASSERT_TRUE(deb);
    auto extracted = testing::runCommand({"/usr/bin/dpkg-deb", "-x", *deb, unpacked()});
    ASSERT_EQ(extracted.exitStatus, 0) << extracted.err;
    exercise(unpacked() + KORVANE_INSTALL_PREFIX "/bin/korvane");
}

}  // namespace
}  // namespace korvane::app
