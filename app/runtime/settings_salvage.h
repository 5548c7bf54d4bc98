#pragma once
// What still reads in a settings file too large to take whole: its
// top-level keys, read one after the other from the file, each kept unless
// its own value is too large or would take the kept ones past a budget, so
// that one oversized value (a list grown without end) costs only itself,
// never consent and every other setting. Reading stops at the first syntax
// error; the keys complete before it count.
#include <cstddef>
#include <istream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane::app {

struct SalvagedSettings {
    nlohmann::json kept = nlohmann::json::object();
    std::vector<std::string> dropped;  // keys whose values were left behind
};

SalvagedSettings salvageSettings(std::istream& file, std::size_t maxValueBytes, std::size_t maxKeptBytes);

}  // namespace korvane::app
