// install_helper.sh as pkexec runs it: as root, with the helper's path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "app/client/install_command.h"
#include "tests/fakes/started_program.h"
#include "tests/install/installed_root.h"

namespace korvane::app {
namespace {

using ::testing::HasSubstr;
using testing::InstalledRoot;
using testing::runCommand;
namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

bool isProgressLine(const std::string& line) {
    return line.starts_with("STEP:") || line.starts_with("OK:") || line.starts_with("ERROR:") ||
           line.starts_with("SUCCESS:");
}

class InstallScript : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the script runs as root";
        source = root.tree.path("app/com.korvane.helper");
        fs::create_directories(fs::path(source).parent_path());
        fs::copy_file(KORVANE_HELPER_BINARY, source);
    }
    testing::CommandResult run(std::vector<std::string> arguments, const std::string& script = KORVANE_INSTALL_SCRIPT) {
        arguments.insert(arguments.begin(), {"/bin/bash", script});
        return runCommand(arguments, {{"KORVANE_INSTALL_ROOT", root.tree.root()}, {"PKEXEC_UID", ""}});
    }

    InstalledRoot root;
    std::string source;
};

TEST_F(InstallScript, InstallsWithProgressLinesTheApplicationsUnitAndAnAnsweringHelperThenRemovesIt) {
    auto installed = run({source, "1000"});
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    auto lines = linesOf(installed.out);
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines) EXPECT_TRUE(isProgressLine(line)) << line;
    EXPECT_EQ(lines.back(), "SUCCESS:Done");
    EXPECT_EQ(InstalledRoot::contents(root.files.unit()), helperUnitText(root.files.tool(), 1000));
    EXPECT_EQ(InstalledRoot::modeOf(root.files.tool()), 0544U);
    EXPECT_EQ(InstalledRoot::modeOf(root.files.unit()), 0644U);

    auto ping = [&] { return runCommand({KORVANE_CTL_BINARY, "--socket", root.files.socket(), "ping"}); };
    EXPECT_TRUE(testing::waitFor([&] { return ping().exitStatus == 0; }, std::chrono::seconds(10)));
    pid_t helper = root.helperPid();
    EXPECT_TRUE(root.helperRunning());

    auto removed = run({"--remove"});
    EXPECT_EQ(removed.exitStatus, 0) << removed.out;
    EXPECT_EQ(linesOf(removed.out).back(), "SUCCESS:Helper removed");
    EXPECT_FALSE(fs::exists(root.files.tool()) || fs::exists(root.files.unit()));
    EXPECT_NE(testing::firstWordOf(helper), root.files.tool());
    EXPECT_EQ(ping().exitStatus, 2);
}

TEST_F(InstallScript, FailuresEndWithAnErrorLineAndAStatusThatIsNotPkexecs) {
    auto expectFailure = [](const testing::CommandResult& result, const std::string& words) {
        EXPECT_EQ(result.exitStatus, 1) << result.out;
        auto lines = linesOf(result.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with("ERROR:")) << lines.back();
        EXPECT_THAT(lines.back(), HasSubstr(words));
    };
    expectFailure(run({root.tree.path("missing/helper"), "1000"}), "not found");
    expectFailure(run({source}), "UID");
    expectFailure(run({}), "usage");
    // Without its service template beside it.
    std::string lonely = root.tree.path("elsewhere/install_helper.sh");
    fs::create_directories(fs::path(lonely).parent_path());
    fs::copy_file(KORVANE_INSTALL_SCRIPT, lonely);
    expectFailure(run({source, "1000"}, lonely), "template");
    EXPECT_FALSE(fs::exists(root.files.tool()));
}

}  // namespace
}  // namespace korvane::app
