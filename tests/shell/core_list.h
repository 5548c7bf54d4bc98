#pragma once
// Core usage lists for tests, numbered in order.
#include <vector>

#include "app/monitors/core_usage.h"

namespace korvane::testing {

inline std::vector<app::CoreUsage> coreList(std::vector<double> usages, bool performance = true) {
    std::vector<app::CoreUsage> list;
    for (double u : usages) list.push_back(app::CoreUsage{static_cast<std::int64_t>(list.size()), u, performance});
    return list;
}

}  // namespace korvane::testing
