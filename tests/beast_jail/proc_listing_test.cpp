#include <gtest/gtest.h>

#include "platform/linux/proc/proc_listing.h"
#include "platform/linux/proc/process_tree.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::linux_platform {
namespace {

// A literal with its NULs, without the terminating one.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

TEST(ProcListing, ListsEveryUserProcessWithItsWholeCommandLineOnOneLine) {
    testing::FixtureTree proc;
    proc.write("7/cmdline", bytes("/opt/Mail Client/mail\0--profile\0a b\0"));
    proc.write("2/cmdline", "");  // a kernel thread
    proc.write("9/cmdline", bytes("evil\0x\n123 /fake\0\xff\xfe\0caf\xc3\xa9\0"));
    proc.write("self/cmdline", "not a pid");
    proc.write("12ab/cmdline", "not a pid either");
    auto listing = readProcessListing(proc.root());
    ASSERT_TRUE(listing);
    std::string text = *listing;
    EXPECT_TRUE(text.starts_with("    PID COMMAND\n"));
    EXPECT_NE(text.find("\n7 /opt/Mail Client/mail --profile a b\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n9 evil x?123 /fake ?? café\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n2"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

    auto missing = readProcessListing(proc.path("absent"));
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos);
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
