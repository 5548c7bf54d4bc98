#pragma once
// The i3 IPC framing sway speaks on $SWAYSOCK (and i3 on $I3SOCK): the magic
// "i3-ipc", a 32-bit payload length and a 32-bit type in the machine's byte
// order, then the JSON payload. Events carry the high bit in their type.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::linux_platform::i3ipc {

inline constexpr std::uint32_t kSubscribe = 2;
inline constexpr std::uint32_t kGetTree = 4;
inline constexpr std::uint32_t kEventBit = 0x80000000u;
inline constexpr std::uint32_t kWorkspaceEvent = kEventBit | 0;
inline constexpr std::uint32_t kWindowEvent = kEventBit | 3;
inline constexpr std::uint32_t kShutdownEvent = kEventBit | 6;

std::string encode(std::uint32_t type, std::string_view payload);

struct Message {
    std::uint32_t type = 0;
    std::string payload;
};

// Cuts a byte stream into messages. A message longer than the limit is
// read past and reported as skipped; bytes that are not the protocol break
// the stream for good.
class Decoder {
public:
    explicit Decoder(std::size_t largestPayload) : largest_(largestPayload) {}

    enum class Next { message, skipped, needMore, broken };

    void feed(std::string_view bytes) { buffer_.append(bytes); }
    Next next(Message& message);

private:
    std::size_t largest_;
    std::string buffer_;
    std::size_t skipping_ = 0;  // bytes of an oversized payload still to pass over
};

}  // namespace korvane::linux_platform::i3ipc
