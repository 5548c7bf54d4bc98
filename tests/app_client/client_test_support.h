#pragma once
// Running XPCManager's operations to completion from a test on the virtual
// loop, while the socket's threads deliver the answers in real time.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/runtime/task.h"
#include "shared/client/helper_connection.h"
#include "testing/virtual_main_loop.h"

namespace korvane::testing {

template <class T>
T awaitOn(VirtualMainLoop& loop, std::function<app::Async<T>()> operation) {
    auto result = std::make_shared<std::optional<T>>();
    auto task = app::spawn(loop, [operation, result]() -> app::Async<> { *result = co_await operation(); });
    EXPECT_TRUE(loop.runUntil([&] { return task.done(); })) << "the operation did not finish";
    return result->value_or(T{});
}

inline void awaitOn(VirtualMainLoop& loop, std::function<app::Async<>()> operation) {
    auto task = app::spawn(loop, [operation]() -> app::Async<> { co_await operation(); });
    EXPECT_TRUE(loop.runUntil([&] { return task.done(); })) << "the operation did not finish";
}

}  // namespace korvane::testing
