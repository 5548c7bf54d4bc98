#include "app/runtime/settings_salvage.h"

#include <optional>

namespace korvane::app {
namespace {

using Json = nlohmann::json;

// Builds one top-level value at a time from the parser's events, counting
// roughly the bytes it takes, and gives up on it (while the parser reads on)
// once it is too large.
class Salvager final : public nlohmann::json_sax<Json> {
public:
    Salvager(std::size_t maxValueBytes, std::size_t maxKeptBytes)
        : maxValueBytes_(maxValueBytes), maxKeptBytes_(maxKeptBytes) {}

    SalvagedSettings result;

    bool null() override { return scalar(nullptr, 4); }
    bool boolean(bool value) override { return scalar(value, 5); }
    bool number_integer(number_integer_t value) override { return scalar(value, 8); }
    bool number_unsigned(number_unsigned_t value) override { return scalar(value, 8); }
    bool number_float(number_float_t value, const string_t&) override { return scalar(value, 8); }
    bool string(string_t& value) override {
        const std::size_t bytes = value.size() + 2;
        return scalar(std::move(value), bytes);
    }
    bool binary(binary_t&) override { return false; }  // not in JSON text

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        if (depth_ == 1) {
            topKey_ = name;
            bytes_ = name.size();
            skipping_ = false;
            value_.reset();
            open_.clear();
        } else if (!skipping_) {
            memberKey_ = name;
            count(name.size());
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool scalar(Json value, std::size_t bytes) {
        if (depth_ == 0) return false;  // the file is not an object
        add(std::move(value), bytes);
        if (depth_ == 1) finishTopValue();
        return true;
    }

    bool open(Json container) {
        ++depth_;
        if (depth_ == 1) return container.is_object();
        if (Json* added = add(std::move(container), 2)) open_.push_back(added);
        return true;
    }

    bool close() {
        --depth_;
        if (depth_ >= 1 && !open_.empty()) open_.pop_back();
        if (depth_ == 1) finishTopValue();
        return true;
    }

    void count(std::size_t bytes) {
        bytes_ += bytes;
        if (bytes_ <= maxValueBytes_) return;
        skipping_ = true;
        value_.reset();
        open_.clear();
    }

    // Where the value went, or nothing when it is being skipped.
    Json* add(Json value, std::size_t bytes) {
        if (skipping_) return nullptr;
        count(bytes);
        if (skipping_) return nullptr;
        if (open_.empty()) return &value_.emplace(std::move(value));
        Json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        return &(parent[memberKey_] = std::move(value));
    }

    void finishTopValue() {
        if (!skipping_ && value_ && keptBytes_ + bytes_ <= maxKeptBytes_) {
            result.kept[topKey_] = std::move(*value_);
            keptBytes_ += bytes_;
        } else {
            result.dropped.push_back(topKey_);
        }
        value_.reset();
    }

    const std::size_t maxValueBytes_;
    const std::size_t maxKeptBytes_;
    int depth_ = 0;
    std::string topKey_;
    std::string memberKey_;
    std::optional<Json> value_;
    std::vector<Json*> open_;  // the containers of value_ still open, innermost last
    std::size_t bytes_ = 0;
    std::size_t keptBytes_ = 0;
    bool skipping_ = false;
};

}  // namespace

SalvagedSettings salvageSettings(std::istream& file, std::size_t maxValueBytes, std::size_t maxKeptBytes) {
    Salvager salvager(maxValueBytes, maxKeptBytes);
    Json::sax_parse(file, &salvager, Json::input_format_t::json, /*strict=*/true, /*ignore_comments=*/false);
    return std::move(salvager.result);
}

}  // namespace korvane::app
