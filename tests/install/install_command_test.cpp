// The composed commands, run by a real /bin/sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <sstream>

#include "app/client/install_command.h"
#include "tests/fakes/started_program.h"
#include "tests/install/installed_root.h"

namespace korvane::app {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::runCommand;

const std::string kHostile = "it's \"quoted\" \\back\\slashed\\n $HOME `id` %i\n\ttab; && || done\n";

TEST(ShellWord, AnyTextComesBackFromTheShellUnchanged) {
    for (std::string text : {std::string(), std::string("plain"), std::string("'"), std::string("''\\''"), kHostile}) {
        auto result = runCommand({"/bin/sh", "-c", "printf '%s' " + shellWord(text)});
        EXPECT_EQ(result.out, text);
    }
}

TEST(ComposedCommands, APathWithASingleQuoteIsRefusedNamingIt) {
    HelperInstallPlan plan{"/opt/it's/com.korvane.helper", InstalledFiles{}, 1000, true};
    auto fromSource = composeInstallCommand(plan, "unit");
    ASSERT_FALSE(fromSource);
    EXPECT_THAT(fromSource.error(), HasSubstr("single quote"));
    EXPECT_THAT(fromSource.error(), HasSubstr("/opt/it's/com.korvane.helper"));

    plan.source = "/usr/libexec/korvane/com.korvane.helper";
    plan.files.root = "/tmp/o'root";
    EXPECT_FALSE(composeInstallCommand(plan, "unit"));
    EXPECT_FALSE(composeRemoveCommand(plan.files, false));
}

TEST(ComposedCommands, WithSystemdTheStepsRunInOrderEachOnlyAfterTheOneBefore) {
    HelperInstallPlan plan{"/usr/libexec/korvane/com.korvane.helper", InstalledFiles{}, 1000, true};
    auto command = composeInstallCommand(plan, "UNIT-TEXT");
    ASSERT_TRUE(command);
    // The copying steps between are the ones the runs without systemd carry out for real.
    std::vector<std::string> steps = {
        "/bin/systemctl disable --now com.korvane.helper.service",
        "/bin/cp -f '/usr/libexec/korvane/com.korvane.helper' '/usr/local/libexec/korvane/com.korvane.helper' && ",
        "printf '%s' 'UNIT-TEXT' > '/etc/systemd/system/com.korvane.helper.service' && ",
        "/bin/chown root:root '/etc/systemd/system/com.korvane.helper.service' && ",
        "/bin/systemctl daemon-reload && ",
        "/bin/systemctl enable --now com.korvane.helper.service",
    };
    std::size_t at = 0;
    for (const auto& step : steps) {
        auto found = command->find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\nin: " << *command;
        at = found + step.size();
    }
    // Stopping the old service may fail (there is none yet) without stopping the rest.
    EXPECT_THAT(*command, HasSubstr("com.korvane.helper.service >/dev/null 2>&1; "));

    auto removal = composeRemoveCommand(plan.files, true);
    ASSERT_TRUE(removal);
    EXPECT_LT(removal->find("disable --now"), removal->find("/bin/rm -f '/etc/systemd/system/com.korvane.helper.service' "
                                                            "'/usr/local/libexec/korvane/com.korvane.helper'"));
}

// What the install page shows where pkexec cannot ask, and what runs as root.
TEST(HelperInstallSetup, TheTerminalCommandAndTheRunnerlessInvocationNameTheRealPathsAndUser) {
    HelperInstallSetup setup{.privilegeRunner = "",
                             .sourceExecutable = "/src/build dir/helper/com.korvane.helper",
                             .installScript = "/src/build dir/share/korvane/install_helper.sh",
                             .shippedScript = "/src/build dir/share/korvane/install_helper.sh",
                             .allowedUid = 1000};
    EXPECT_EQ(terminalInstallCommand(setup, "").value(),
              "sudo '/src/build dir/share/korvane/install_helper.sh' '/src/build dir/helper/com.korvane.helper' 1000");
    EXPECT_EQ(helperInstallInvocation(setup, "").value(),
              (std::vector<std::string>{setup.installScript, setup.sourceExecutable, "1000"}));

    // Without a script the composed command goes under sudo whole.
    setup.shippedScript.clear();
    auto composed = terminalInstallCommand(setup, "");
    ASSERT_TRUE(composed);
    EXPECT_THAT(*composed, ::testing::StartsWith("sudo /bin/sh -c '"));
    EXPECT_THAT(*composed, HasSubstr("--allow-uid=1000"));
}

TEST(HelperUnit, NamesTheToolAndTheUserAndQuotesAPathSystemdWouldSplit) {
    std::string unit = helperUnitText("/usr/local/libexec/korvane/com.korvane.helper", 1000);
    EXPECT_THAT(unit, HasSubstr("\nExecStart=/usr/local/libexec/korvane/com.korvane.helper --allow-uid=1000\n"));
    // However the helper stops, the fans it left in manual go back to automatic.
    EXPECT_THAT(unit, HasSubstr("\nExecStopPost=-/usr/local/libexec/korvane/com.korvane.helper --restore-fans\n"));
    EXPECT_THAT(unit, Not(HasSubstr("@HELPER_PATH@")));
    EXPECT_THAT(unit, Not(HasSubstr("@ALLOWED_UID@")));
    // /sys must stay writable for the fans.
    EXPECT_THAT(unit, Not(HasSubstr("\nProtectKernelTunables=")));
    EXPECT_THAT(unit, Not(HasSubstr("\nProtectControlGroups=")));

    EXPECT_THAT(helperUnitText("/tmp/my root/100%/h", 7),
                HasSubstr("\nExecStart=\"/tmp/my root/100%%/h\" --allow-uid=7\n"));
}

// The unit's capability bounding set, as setpriv takes it: "-all,+sys_nice,...".
std::string boundingSetOf(const std::string& unit) {
    std::string key = "\nCapabilityBoundingSet=";
    auto at = unit.find(key);
    if (at == std::string::npos) return {};
    std::istringstream names(unit.substr(at + key.size(), unit.find('\n', at + 1) - at - key.size()));
    std::string set = "-all";
    for (std::string name; names >> name;) {
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        set += ",+" + name.substr(name.find('_') + 1);
    }
    return set;
}

TEST(HelperUnit, ItsCapabilitiesAreEnoughForTheHelperToServeItsUser) {
    if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv")) GTEST_SKIP() << "needs root and setpriv";
    std::string bounding = boundingSetOf(helperUnitText(KORVANE_HELPER_BINARY, 1000));
    ASSERT_THAT(bounding, HasSubstr("+sys_nice"));
    testing::FixtureTree folder;
    std::string socket = folder.path("run/helper.sock");
    testing::StartedProgram helper({"/usr/bin/setpriv", "--bounding-set", bounding, "--inh-caps=-all", "--",
                                    KORVANE_HELPER_BINARY, "--allow-uid=1000"},
                                   {{"KORVANE_HELPER_SOCKET", socket}}, folder.path("helper.log"));
    // It hands its socket to the user it serves before it listens.
    bool listening = testing::waitFor(
        [&] { return runCommand({KORVANE_CTL_BINARY, "--socket", socket, "ping"}).exitStatus == 0 || helper.exited(); },
        std::chrono::seconds(20));
    EXPECT_TRUE(listening && !helper.exited()) << folder.read("helper.log");
}

TEST(ComposedCommands, AUnitTextWithQuotesAndBackslashesReachesTheFileIntact) {
    if (::geteuid() != 0) GTEST_SKIP() << "writes root-owned files";
    testing::InstalledRoot root;
    std::string source = root.tree.write("source/helper", "#!/bin/sh\n", 0755);
    HelperInstallPlan plan{source, root.files, 1000, false, true};
    for (const std::string& text : {kHostile, helperUnitText(root.files.tool(), 1000)}) {
        // Only the files matter here: the "helper" exits at once.
        auto command = composeInstallCommand(plan, text);
        ASSERT_TRUE(command);
        auto result = runCommand({"/bin/sh", "-c", *command});
        ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
        EXPECT_EQ(testing::InstalledRoot::contents(root.files.unit()), text);
        EXPECT_EQ(result.out, "SUCCESS:Done\n");
    }
}

TEST(ComposedCommands, AFailingStepStopsTheSteps) {
    if (::geteuid() != 0) GTEST_SKIP() << "writes root-owned files";
    testing::InstalledRoot root;
    // The tool's folder cannot be created where a file stands.
    root.tree.write("usr/local/libexec", "not a folder");
    std::string source = root.tree.write("source/helper", "#!/bin/sh\n", 0755);
    auto command = composeInstallCommand({source, root.files, 1000, false, true}, "unit");
    ASSERT_TRUE(command);
    auto result = runCommand({"/bin/sh", "-c", *command});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_FALSE(std::filesystem::exists(root.files.unit()));
    EXPECT_THAT(result.out, Not(HasSubstr("SUCCESS:")));
}

}  // namespace
}  // namespace korvane::app
