#include "shared/util/small_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "tests/fakes/fixture_tree.h"

namespace korvane {
namespace {

// Each option guards a caller: the limit and regular-only reading protect a
// root reader from files other users choose, truncation serves sysfs, and a
// short read ending the file saves /proc readers a system call.
TEST(SmallFile, ReadsWholeFilesAndRefusesWhatACarefulReaderMustNot) {
    testing::FixtureTree tree;
    std::string big(10000, 'x');
    tree.write("big", big);
    tree.write("short", "hello\n");
    ASSERT_EQ(::mkfifo(tree.path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(tree.path("short").c_str(), tree.path("link").c_str()), 0);

    EXPECT_EQ(readSmallFile(tree.path("big")).value(), big);
    EXPECT_EQ(readSmallFile(tree.path("short"), {.regularOnly = true, .noFollow = true}).value(), "hello\n");
    EXPECT_EQ(readSmallFile(tree.path("missing")).error(), ENOENT);
    EXPECT_EQ(readSmallFile(tree.path("big"), {.limit = 9999}).error(), EFBIG);
    EXPECT_EQ(readSmallFile(tree.path("big"), {.limit = 5000, .truncate = true}).value(), std::string(5000, 'x'));
    // Without regular-only reading, this open would wait for a writer forever.
    EXPECT_EQ(readSmallFile(tree.path("fifo"), {.regularOnly = true}).error(), EINVAL);
    EXPECT_EQ(readSmallFile(tree.path("link"), {.regularOnly = true}).value(), "hello\n");
    EXPECT_EQ(readSmallFile(tree.path("link"), {.regularOnly = true, .noFollow = true}).error(), ELOOP);
    EXPECT_EQ(readSmallFile(tree.path("link"), {.noFollow = true}).error(), ELOOP);

    // A /proc file is regular and comes whole in one read.
    auto stat = readSmallFile("/proc/self/stat", {.regularOnly = true, .shortReadEnds = true});
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->back(), '\n');
    // A regular file longer than one read is still read whole.
    EXPECT_EQ(readSmallFile(tree.path("big"), {.shortReadEnds = true}).value(), big);
}

}  // namespace
}  // namespace korvane
