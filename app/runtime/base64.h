#pragma once
// Standard base64 (RFC 4648, with padding), for data values whose bytes are
// not text.
#include <optional>
#include <string>
#include <string_view>

namespace korvane::app {

std::string base64Encode(std::string_view bytes);
// Nothing when `text` is not well-formed base64.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace korvane::app
