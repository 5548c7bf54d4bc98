// CPU lists as sysfs writes them, and back.
#include <gtest/gtest.h>

#include "shared/topology/cpu_list.h"

namespace korvane {
namespace {

TEST(CpuListTest, ParsesKernelNotation) {
    EXPECT_EQ(parseCpuList("0-1,10-15\n").value(), (CpuList{0, 1, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(parseCpuList(" 4-5 , 0 ").value(), (CpuList{0, 4, 5}));
    EXPECT_EQ(parseCpuList("8-9,2,8,0-2").value(), (CpuList{0, 1, 2, 8, 9}));  // sorted, no repeats
    EXPECT_EQ(parseCpuList("\n").value(), CpuList{});  // what the kernel writes for an empty mask
}

TEST(CpuListTest, RefusesMalformedAndAbsurdItems) {
    for (const char* bad : {"a", "1-", "-3", "3-1", "1,,2", "1;2", "0-1,x", "0-99999999"}) {
        auto parsed = parseCpuList(bad);
        ASSERT_FALSE(parsed) << bad;
        EXPECT_NE(parsed.error().find("not a CPU list item"), std::string::npos) << parsed.error();
    }
}

TEST(CpuListTest, FormatsRangesAndRoundTrips) {
    EXPECT_EQ(formatCpuList({}), "");
    EXPECT_EQ(formatCpuList({0, 2, 4, 5}), "0,2,4-5");
    for (const char* text : {"0-1,10-15", "3", "4-7", "0-3,8-11,16"}) {
        EXPECT_EQ(formatCpuList(parseCpuList(text).value()), text);
    }
}

}  // namespace
}  // namespace korvane
