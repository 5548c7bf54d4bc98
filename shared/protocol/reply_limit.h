#pragma once
// How long a reply's failure text may be, for every program that sends one.
#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

// The longest failure text a reply carries, far inside the frame limit
// every client accepts.
inline constexpr std::size_t kMaxReplyTextBytes = 64 * 1024;

// `text` cut to kMaxReplyTextBytes at a character boundary, ending in "…"
// when anything was cut.
inline std::string cappedReplyText(std::string text) {
    static constexpr std::string_view kEllipsis = "…";
    if (text.size() <= kMaxReplyTextBytes) return text;
    std::size_t keep = kMaxReplyTextBytes - kEllipsis.size();
    // Never end inside a character: continuation bytes are 10xxxxxx.
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
    text.resize(keep);
    text += kEllipsis;
    return text;
}

}  // namespace korvane
