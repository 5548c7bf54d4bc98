#include "app/ui/menu_windows/helper_build.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace korvane::ui {

HelperBuild compareHelperBuilds(const std::string& installed, const std::string& shipped) {
    std::ifstream a(installed, std::ios::binary);
    std::ifstream b(shipped, std::ios::binary);
    if (!a || !b) return HelperBuild::unknown;
    std::array<char, 1 << 16> left{};
    std::array<char, 1 << 16> right{};
    for (;;) {
        a.read(left.data(), left.size());
        b.read(right.data(), right.size());
        if (a.bad() || b.bad()) return HelperBuild::unknown;
        if (a.gcount() != b.gcount() || !std::equal(left.begin(), left.begin() + a.gcount(), right.begin())) {
            return HelperBuild::different;
        }
        // Equal so far; a short read ends both files at once or neither.
        if (a.eof() || b.eof()) return a.eof() && b.eof() ? HelperBuild::same : HelperBuild::different;
    }
}

}  // namespace korvane::ui
