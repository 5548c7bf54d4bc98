#pragma once
// The three facts the welcome page shows about this computer; the platform
// reads them.
#include <string>

namespace korvane::app {

struct SystemSummary {
    std::string model;
    std::string topology;
    std::string memory;
};

}  // namespace korvane::app
