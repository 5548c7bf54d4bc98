#pragma once
#include <string>
#include <string_view>

namespace korvane::helper {

// A tool's output as it goes into a reply: decoded as UTF-8 and trimmed of
// white space and newlines at both ends; empty when the bytes are not UTF-8.
std::string trimmedToolOutput(std::string_view bytes);

}  // namespace korvane::helper
