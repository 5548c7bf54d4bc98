#include "app/ui/onboarding/install_plan.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

std::string runShell(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    int result = ::pclose(pipe);
    if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

TEST(InstallPlan, TheInstalledScriptRunsWithTheHelperPathThroughTheRunner) {
    testing::FixtureTree prefix;
    std::string script = prefix.write("share/korvane/install_helper.sh", "#!/bin/bash\n");
    InstallPlan plan{prefix.root(), "/opt/korvane/helper", "/usr/bin/pkexec",
                     [](const std::string&) { return "x"; }, nullptr};
    EXPECT_EQ(composeInstallCommand(plan),
              (InstallCommand{"/usr/bin/pkexec", {"/bin/bash", script, "/opt/korvane/helper"}}));
}

TEST(InstallPlan, TheInstallersComposedCommandWinsOverScriptAndBuiltIn) {
    testing::FixtureTree prefix;
    prefix.write("share/korvane/install_helper.sh", "#!/bin/bash\n");
    InstallPlan plan{prefix.root(), "/opt/helper", "runner", [](const std::string&) { return "x"; },
                     [] { return Expected<InstallCommand, std::string>(InstallCommand{"stand-in", {"/bin/sh", "-c", "y"}}); }};
    auto command = resolveInstallCommand(plan);
    ASSERT_TRUE(command);
    EXPECT_EQ(command.value(), (InstallCommand{"stand-in", {"/bin/sh", "-c", "y"}}));
    plan.composed = nullptr;
    EXPECT_EQ(resolveInstallCommand(plan).value().program, "runner");
}

TEST(InstallPlan, WithoutTheScriptTheBuiltInCommandEndsByPrintingDone) {
    testing::FixtureTree prefix;
    InstallPlan plan{prefix.root(), "/opt/helper", "runner",
                     [](const std::string& source) { return "test -n " + shellQuoted(source); }, nullptr};
    InstallCommand command = composeInstallCommand(plan);
    ASSERT_EQ(command.arguments.size(), 3u);
    EXPECT_EQ(command.program, "runner");
    EXPECT_EQ(command.arguments[0], "/bin/bash");
    EXPECT_EQ(command.arguments[1], "-c");
    EXPECT_EQ(runShell("/bin/bash -c " + shellQuoted(command.arguments[2])), "SUCCESS:Done\n");

    // A failing step keeps the seal out of the log.
    plan.builtInCommand = [](const std::string&) { return "false"; };
    int status = 0;
    EXPECT_EQ(
        runShell("/bin/bash -c " + shellQuoted(composeInstallCommand(plan).arguments[2]), &status),
        "");
    EXPECT_NE(status, 0);
}

TEST(InstallPlan, QuotingSurvivesTheShellWhateverThePath) {
    for (std::string path :
         {"/plain/path", "/with space/and 'quotes'", "/$(touch pwned)/`x`/\"q\"", "it's"}) {
        EXPECT_EQ(runShell("printf %s " + shellQuoted(path)), path);
    }
    // The default command is valid shell for a path with a quote in it.
    int status = -1;
    runShell("/bin/bash -n -c " + shellQuoted(simpleBuiltInInstallCommand("/opt/it's/helper")),
             &status);
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace korvane::app
