#include <gtest/gtest.h>

#include "app/runtime/string_table.h"

namespace korvane::app {
namespace {

TEST(StringTable, MissingKeysShowThemselvesAndFormatsFillInOrder) {
    auto table = StringTable::fromJson(R"({"apps.count": "%lld apps", "focus.body": "%@ has %lld%% of the P-cores"})");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text("Release Focus"), "Release Focus");
    EXPECT_EQ(table->format("apps.count", {std::int64_t{-3}}), "-3 apps");
    EXPECT_EQ(table->format("focus.body", {std::string("Terminal"), std::int64_t{100}}),
              "Terminal has 100% of the P-cores");
    // A missing argument, or one of the wrong kind, leaves its placeholder as
    // written without shifting the rest.
    EXPECT_EQ(formatText("%@ and %lld", {std::int64_t{1}, std::int64_t{2}}), "%@ and 2");
    EXPECT_EQ(formatText("%@ and %lld", {std::string("x")}), "x and %lld");
    EXPECT_EQ(formatText("%d %lld", {std::int64_t{5}}), "%d 5");
}

}  // namespace
}  // namespace korvane::app
