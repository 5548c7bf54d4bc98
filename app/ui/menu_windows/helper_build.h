#pragma once
// Whether the installed helper is the one this Korvane ships. The installer
// copies the shipped file as it is, so equal bytes mean the same build; the
// installed tool is readable by everyone, though only root may run it.
#include <string>

namespace korvane::ui {

enum class HelperBuild { same, different, unknown };

// `unknown` when either file cannot be read.
HelperBuild compareHelperBuilds(const std::string& installed, const std::string& shipped);

}  // namespace korvane::ui
