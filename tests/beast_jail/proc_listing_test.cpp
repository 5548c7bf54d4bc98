#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/proc/process_table.h"
#include "platform/linux/proc/process_tree.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::linux_platform {
namespace {

// A literal with its NULs, without the terminating one.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// A stat line of a process started at `start` ticks, named `name`.
std::string statLine(int pid, const std::string& name, int parent, int start, unsigned flags = 0) {
    return std::to_string(pid) + " (" + name + ") S " + std::to_string(parent) + " 1 1 0 -1 " +
           std::to_string(flags) + " 0 0 0 0 0 0 0 0 20 0 1 0 " + std::to_string(start) + " 0 0\n";
}

TEST(ProcessTable, EveryProcessWithItsParentStartAndWholeCommandLine) {
    testing::FixtureTree proc;
    proc.write("7/stat", statLine(7, "mail) (x", 1, 100));
    proc.write("7/cmdline", bytes("/opt/Mail Client/mail\0--profile\0a b\0"));
    proc.write("2/stat", statLine(2, "kthreadd", 0, 1, 0x00200000));  // a kernel thread
    proc.write("9/stat", statLine(9, "evil", 7, 300));
    proc.write("9/cmdline", bytes("evil\0x\n123 /fake\0\xff\xfe\0caf\xc3\xa9\0"));
    proc.write("11/cmdline", bytes("ended\0"));  // gone before its stat was read
    proc.write("self/cmdline", "not a pid");
    proc.write("12ab/cmdline", "not a pid either");
    ProcessTable table(proc.root());
    auto entries = table.read();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].pid, 2);
    EXPECT_EQ((*entries)[0].commandLine, "");
    EXPECT_EQ((*entries)[1].pid, 7);
    EXPECT_EQ((*entries)[1].parent, 1);
    EXPECT_EQ((*entries)[1].startTime, 100u);
    EXPECT_EQ((*entries)[1].commandLine, "/opt/Mail Client/mail --profile a b");
    EXPECT_EQ((*entries)[2].parent, 7);
    EXPECT_EQ((*entries)[2].commandLine, "evil x?123 /fake ?? café");
    EXPECT_EQ(table.commandLinesRead(), 2u);

    auto missing = ProcessTable(proc.path("absent")).read();
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos);
}

// A process is known by its /proc entry: a pid taken over by a later
// process has a new one, and its stat is read again. A known process's
// command line is converted again only when it changed (an exec).
TEST(ProcessTable, ASteadyTableConvertsNoCommandLineTwice) {
    testing::FixtureTree proc;
    proc.write("7/stat", statLine(7, "mail", 1, 100));
    proc.write("7/cmdline", bytes("mail\0"));
    proc.write("8/stat", statLine(8, "sh", 1, 200));
    proc.write("8/cmdline", bytes("sh\0-c\0exec game\0"));
    ProcessTable table(proc.root());
    ASSERT_TRUE(table.read());
    EXPECT_EQ(table.commandLinesRead(), 2u);
    ASSERT_TRUE(table.read());
    EXPECT_EQ(table.commandLinesRead(), 0u);

    // Pid 7 is reused: a new entry, made while the old one still exists.
    proc.write("next7/stat", statLine(7, "editor", 1, 150));
    proc.write("next7/cmdline", bytes("editor\0"));
    std::filesystem::remove_all(proc.path("7"));
    std::filesystem::rename(proc.path("next7"), proc.path("7"));
    proc.write("8/cmdline", bytes("game\0--level\0" "3\0"));  // exec
    proc.write("9/stat", statLine(9, "new", 1, 300));
    proc.write("9/cmdline", bytes("new\0"));
    auto entries = table.read();
    ASSERT_TRUE(entries);
    EXPECT_EQ(table.commandLinesRead(), 3u);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].commandLine, "editor");
    EXPECT_EQ((*entries)[0].startTime, 150u);
    EXPECT_EQ((*entries)[1].commandLine, "game --level 3");
    EXPECT_EQ((*entries)[1].startTime, 200u);
}

TEST(ProcessTree, ParentAndCgroupOfAProcess) {
    testing::FixtureTree proc;
    proc.write("40/stat", "40 (my (odd) name) S 17 40 40 0 -1 4194560 100 0\n");
    proc.write("40/cgroup", "0::/user.slice/app-x.scope\n");
    proc.write("41/stat", "41 (broken");
    EXPECT_EQ(readParentPID(proc.root(), 40), 17);
    EXPECT_EQ(readParentPID(proc.root(), 41), std::nullopt);
    EXPECT_EQ(readParentPID(proc.root(), 42), std::nullopt);
    EXPECT_EQ(readCgroup(proc.root(), 40), "0::/user.slice/app-x.scope\n");
    EXPECT_EQ(readCgroup(proc.root(), 42), std::nullopt);
}

}  // namespace
}  // namespace korvane::linux_platform
