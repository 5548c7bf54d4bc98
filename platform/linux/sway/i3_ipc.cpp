#include "platform/linux/sway/i3_ipc.h"

#include <algorithm>
#include <cstring>

namespace korvane::linux_platform::i3ipc {
namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeader = kMagic.size() + 8;

}  // namespace

std::string encode(std::uint32_t type, std::string_view payload) {
    std::string bytes(kMagic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
    bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
    bytes.append(payload);
    return bytes;
}

Decoder::Next Decoder::next(Message& message) {
    if (skipping_ > 0) {
        std::size_t passed = std::min(skipping_, buffer_.size());
        buffer_.erase(0, passed);
        skipping_ -= passed;
        if (skipping_ > 0) return Next::needMore;
    }
    if (buffer_.size() < kHeader) {
        return kMagic.starts_with(std::string_view(buffer_).substr(0, std::min(buffer_.size(), kMagic.size())))
                   ? Next::needMore
                   : Next::broken;
    }
    if (!std::string_view(buffer_).starts_with(kMagic)) return Next::broken;
    std::uint32_t length = 0, type = 0;
    std::memcpy(&length, buffer_.data() + kMagic.size(), sizeof length);
    std::memcpy(&type, buffer_.data() + kMagic.size() + 4, sizeof type);
    if (length > largest_) {
        buffer_.erase(0, kHeader);
        const std::size_t passed = std::min<std::size_t>(length, buffer_.size());
        buffer_.erase(0, passed);
        skipping_ = length - passed;
        message.type = type;
        message.payload.clear();
        return Next::skipped;
    }
    if (buffer_.size() < kHeader + length) return Next::needMore;
    message.type = type;
    message.payload.assign(buffer_, kHeader, length);
    buffer_.erase(0, kHeader + length);
    return Next::message;
}

}  // namespace korvane::linux_platform::i3ipc
