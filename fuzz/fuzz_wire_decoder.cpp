// Feeds arbitrary bytes to the helper's message decoder. Whatever decodes must
// encode back to the same bytes: the decoder accepts nothing it cannot name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shared/protocol/wire_codec.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (size >= wire::kLengthPrefixBytes) {
        (void)wire::decodeLength(data);
    }
    if (auto request = wire::decodeRequest(payload)) {
        auto again = wire::encodeRequest(request->id, request->call);
        if (std::string_view(again).substr(wire::kLengthPrefixBytes) != payload) std::abort();
    }
    if (auto reply = wire::decodeReply(payload)) {
        auto again = wire::encodeReply(reply->id, reply->reply);
        if (std::string_view(again).substr(wire::kLengthPrefixBytes) != payload) std::abort();
    }
    return 0;
}
