#include "shared/protocol/wire_codec.h"

#include <cstring>
#include <tuple>
#include <type_traits>

#include "shared/util/utf8.h"

namespace korvane::wire {
namespace {

enum Kind : std::uint8_t { kRequest = 1, kReply = 2 };

enum Tag : std::uint8_t {
    kInt32 = 1,
    kInt64 = 2,
    kBool = 3,
    kString = 4,
    kInt32Array = 5,
    kStringArray = 6,
    kNil = 7,
};

class Writer {
public:
    Writer() { out_.resize(kLengthPrefixBytes); }
    void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void bytes(std::string_view s) { out_.append(s); }

    void int32(std::int32_t v) { u8(kInt32), u32(static_cast<std::uint32_t>(v)); }
    void int64(std::int64_t v) { u8(kInt64), u64(static_cast<std::uint64_t>(v)); }
    void boolean(bool v) { u8(kBool), u8(v ? 1 : 0); }
    void string(std::string_view s) { u8(kString), u32(static_cast<std::uint32_t>(s.size())), bytes(s); }
    void nil() { u8(kNil); }

    // One argument of a message, tagged by its type.
    template <class T>
    void put(const T& v) {
        if constexpr (std::is_same_v<T, bool>) boolean(v);
        else if constexpr (std::is_same_v<T, std::int32_t>) int32(v);
        else if constexpr (std::is_same_v<T, std::int64_t>) int64(v);
        else if constexpr (std::is_same_v<T, std::vector<std::int32_t>>) int32Array(v);
        else if constexpr (std::is_same_v<T, std::vector<std::string>>) stringArray(v);
        else static_assert(sizeof(T) == 0, "no wire form for this argument type");
    }
    void int32Array(const std::vector<std::int32_t>& v) {
        u8(kInt32Array), u32(static_cast<std::uint32_t>(v.size()));
        for (auto x : v) u32(static_cast<std::uint32_t>(x));
    }
    void stringArray(const std::vector<std::string>& v) {
        u8(kStringArray), u32(static_cast<std::uint32_t>(v.size()));
        for (const auto& s : v) u32(static_cast<std::uint32_t>(s.size())), bytes(s);
    }

    std::string finish() && {
        std::uint32_t length = static_cast<std::uint32_t>(out_.size() - kLengthPrefixBytes);
        for (std::size_t i = 0; i < kLengthPrefixBytes; ++i) out_[i] = static_cast<char>(length >> (8 * i));
        return std::move(out_);
    }

private:
    void le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out_.push_back(static_cast<char>(v >> (8 * i)));
    }
    std::string out_;
};

bool validUtf8WithoutNul(std::string_view s) {
    return s.find('\0') == std::string_view::npos && isValidUtf8(s);
}

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    bool atEnd() const { return pos_ == in_.size(); }
    void fail(std::string why) {
        if (error_.empty()) error_ = std::move(why);
    }

    std::uint64_t le(int n) {
        if (failed()) return 0;
        if (in_.size() - pos_ < static_cast<std::size_t>(n)) {
            fail("truncated message");
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= std::uint64_t(static_cast<unsigned char>(in_[pos_ + i])) << (8 * i);
        pos_ += n;
        return v;
    }
    std::uint8_t u8() { return static_cast<std::uint8_t>(le(1)); }
    std::string_view bytes(std::size_t n) {
        if (failed()) return {};
        if (in_.size() - pos_ < n) {
            fail("truncated message");
            return {};
        }
        auto s = in_.substr(pos_, n);
        pos_ += n;
        return s;
    }

    void expectTag(Tag tag, const char* what) {
        if (failed()) return;
        if (u8() != tag && !failed()) fail(std::string("argument is not ") + what);
    }
    std::int32_t int32() {
        expectTag(kInt32, "a 32-bit integer");
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(le(4)));
    }
    std::int64_t int64() {
        expectTag(kInt64, "a 64-bit integer");
        return static_cast<std::int64_t>(le(8));
    }
    bool boolean() {
        expectTag(kBool, "a boolean");
        auto v = u8();
        if (v > 1) fail("boolean out of range");
        return v == 1;
    }
    std::string text() {
        auto n = static_cast<std::size_t>(le(4));
        auto s = bytes(n);
        if (!failed() && !validUtf8WithoutNul(s)) fail("string is not valid UTF-8");
        return std::string(s);
    }
    std::string string() {
        expectTag(kString, "a string");
        return text();
    }
    std::size_t count() {
        auto n = static_cast<std::size_t>(le(4));
        if (n > kMaxArrayElements) fail("array has more than 65536 elements");
        return failed() ? 0 : n;
    }
    std::vector<std::int32_t> int32Array() {
        expectTag(kInt32Array, "an array of 32-bit integers");
        std::vector<std::int32_t> v;
        auto n = count();
        if (n * 4 > in_.size() - pos_) fail("truncated message");
        if (failed()) return v;
        v.reserve(n);
        for (std::size_t i = 0; i < n && !failed(); ++i) v.push_back(static_cast<std::int32_t>(le(4)));
        return v;
    }
    std::vector<std::string> stringArray() {
        expectTag(kStringArray, "an array of strings");
        std::vector<std::string> v;
        auto n = count();
        if (n * 4 > in_.size() - pos_) fail("truncated message");
        for (std::size_t i = 0; i < n && !failed(); ++i) v.push_back(text());
        return v;
    }
    // One argument of a message; the tag must name exactly its type.
    template <class T>
    void get(T& out) {
        if constexpr (std::is_same_v<T, bool>) out = boolean();
        else if constexpr (std::is_same_v<T, std::int32_t>) out = int32();
        else if constexpr (std::is_same_v<T, std::int64_t>) out = int64();
        else if constexpr (std::is_same_v<T, std::vector<std::int32_t>>) out = int32Array();
        else if constexpr (std::is_same_v<T, std::vector<std::string>>) out = stringArray();
        else static_assert(sizeof(T) == 0, "no wire form for this argument type");
    }

    std::optional<std::string> optionalString() {
        if (failed()) return std::nullopt;
        if (pos_ < in_.size() && static_cast<unsigned char>(in_[pos_]) == kNil) {
            ++pos_;
            return std::nullopt;
        }
        return string();
    }

private:
    std::string_view in_;
    std::size_t pos_ = 0;
    std::string error_;
};

int argumentCount(const msg::Call& call) {
    return std::visit(
        [](const auto& m) -> int { return static_cast<int>(std::tuple_size_v<decltype(std::decay_t<decltype(m)>::fields)>); },
        call);
}

template <std::size_t I = 0>
Expected<msg::Call, std::string> emptyCallFor(std::string_view selector) {
    if constexpr (I == std::variant_size_v<msg::Call>) {
        return unexpected(std::string("unknown method '") + std::string(selector.substr(0, 80)) + "'");
    } else {
        using M = std::variant_alternative_t<I, msg::Call>;
        if (M::selector == selector) return msg::Call(std::in_place_index<I>);
        return emptyCallFor<I + 1>(selector);
    }
}

void writeHeader(Writer& w, Kind kind, std::uint64_t id) {
    w.u8(kMagic);
    w.u8(kVersion);
    w.u8(kind);
    w.u64(id);
}

void readHeader(Reader& r, Kind expected) {
    if (r.u8() != kMagic && !r.failed()) r.fail("not a Korvane message");
    auto version = r.u8();
    if (!r.failed() && version != kVersion) r.fail("unsupported protocol version " + std::to_string(version));
    auto kind = r.u8();
    if (!r.failed() && kind != expected) r.fail(expected == kRequest ? "not a request" : "not a reply");
}

}  // namespace

std::string encodeRequest(std::uint64_t id, const msg::Call& call) {
    Writer w;
    writeHeader(w, kRequest, id);
    auto selector = msg::selectorOf(call);
    w.u16(static_cast<std::uint16_t>(selector.size()));
    w.bytes(selector);
    w.u8(static_cast<std::uint8_t>(argumentCount(call)));
    std::visit(
        [&](const auto& m) {
            std::apply([&](auto... field) { (w.put(m.*field), ...); }, std::decay_t<decltype(m)>::fields);
        },
        call);
    return std::move(w).finish();
}

std::string encodeReply(std::uint64_t id, const msg::Reply& reply) {
    Writer w;
    writeHeader(w, kReply, id);
    w.u8(reply.hasMessageSlot ? 2 : 1);
    w.boolean(reply.success);
    if (reply.hasMessageSlot) {
        if (reply.message) w.string(*reply.message);
        else w.nil();
    }
    return std::move(w).finish();
}

Expected<Request, std::string> decodeRequest(std::string_view payload) {
    Reader r(payload);
    readHeader(r, kRequest);
    Request request;
    request.id = r.le(8);
    auto selectorLength = static_cast<std::size_t>(r.le(2));
    auto selector = r.bytes(selectorLength);
    if (r.failed()) return unexpected(r.error());
    auto call = emptyCallFor(selector);
    if (!call) return unexpected(call.error());
    request.call = std::move(*call);
    auto argc = r.u8();
    if (!r.failed() && argc != argumentCount(request.call)) {
        r.fail("wrong number of arguments for " + std::string(selector));
    }
    // Arguments are read in wire order; the first wrong tag stops the reading.
    std::visit(
        [&](auto& m) { std::apply([&](auto... field) { (r.get(m.*field), ...); }, std::decay_t<decltype(m)>::fields); },
        request.call);
    if (!r.failed() && !r.atEnd()) r.fail("trailing bytes after the arguments");
    if (r.failed()) return unexpected(r.error());
    return request;
}

Expected<ReplyFrame, std::string> decodeReply(std::string_view payload) {
    Reader r(payload);
    readHeader(r, kReply);
    ReplyFrame frame;
    frame.id = r.le(8);
    auto count = r.u8();
    if (!r.failed() && count != 1 && count != 2) r.fail("a reply carries one or two values");
    frame.reply.success = r.boolean();
    frame.reply.hasMessageSlot = count == 2;
    if (frame.reply.hasMessageSlot) frame.reply.message = r.optionalString();
    if (!r.failed() && !r.atEnd()) r.fail("trailing bytes after the reply");
    if (r.failed()) return unexpected(r.error());
    return frame;
}

Expected<std::size_t, std::string> decodeLength(const unsigned char prefix[kLengthPrefixBytes]) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < kLengthPrefixBytes; ++i) length |= std::size_t(prefix[i]) << (8 * i);
    if (length == 0) return unexpected(std::string("empty message"));
    if (length > kMaxPayloadBytes) {
        return unexpected("message of " + std::to_string(length) + " bytes exceeds the 1 MiB limit");
    }
    return length;
}

}  // namespace korvane::wire
