#pragma once
// The order of application names in the list: locale-aware and blind to
// letter case, so "apple" and "Apple" compare equal (and keep the desktop's
// order under a stable sort) while accented letters fall where the user's
// language puts them.
#include <memory>
#include <string>
#include <string_view>

namespace korvane::app {

class NameCollator {
public:
    // `locale` as ICU or POSIX names it ("sv_SE", "de_DE.UTF-8"); empty for
    // the process's own locale.
    explicit NameCollator(const std::string& locale = {});
    ~NameCollator();
    NameCollator(const NameCollator&) = delete;
    NameCollator& operator=(const NameCollator&) = delete;

    // Negative, zero or positive as `a` orders before, with or after `b`.
    int compare(std::string_view a, std::string_view b) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::app
