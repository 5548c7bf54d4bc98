#pragma once
// The wire form of the protocol, shared by the helper and every client.
//
//   frame   := u32 payload-length (little-endian), payload
//   payload := u8 'K', u8 version, u8 kind (1 request, 2 reply), u64 request id, body
//   request body := u16 selector length, selector bytes, u8 argument count, values
//   reply body   := u8 value count, values: bool, then string or nil (none for ping)
//   value   := u8 tag, data — tags name exactly the protocol's types: int32, int64,
//              bool, string, int32 array, string array, nil
//
// Request ids let replies of long calls come back out of order. Everything the
// decoder accepts is checked against the method's exact signature; anything
// else is an error, never a guess.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/protocol/messages.h"
#include "shared/util/expected.h"

namespace korvane::wire {

inline constexpr std::uint8_t kMagic = 'K';
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kLengthPrefixBytes = 4;
inline constexpr std::size_t kMaxPayloadBytes = 1 << 20;
inline constexpr std::size_t kMaxArrayElements = 65536;

struct Request {
    std::uint64_t id = 0;
    msg::Call call;
};

struct ReplyFrame {
    std::uint64_t id = 0;
    msg::Reply reply;
};

// Whole frames, length prefix included, ready to write.
std::string encodeRequest(std::uint64_t id, const msg::Call& call);
std::string encodeReply(std::uint64_t id, const msg::Reply& reply);

// Decode one payload (the bytes after the length prefix). The error text says
// what was wrong, for the log.
Expected<Request, std::string> decodeRequest(std::string_view payload);
Expected<ReplyFrame, std::string> decodeReply(std::string_view payload);

// Reads the length prefix; fails for zero or for more than kMaxPayloadBytes.
Expected<std::size_t, std::string> decodeLength(const unsigned char prefix[kLengthPrefixBytes]);

}  // namespace korvane::wire
