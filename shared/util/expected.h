#pragma once
// A small stand-in for C++23's std::expected: a value or the reason there is
// none. Failures cross our boundaries as values, never as exceptions.
#include <cassert>
#include <utility>
#include <variant>

namespace korvane {

template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & {
        assert(has_value());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(has_value());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(has_value());
        return std::get<0>(std::move(state_));
    }
    const E& error() const {
        assert(!has_value());
        return std::get<1>(state_);
    }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, E> state_;
};

// Success without a value.
struct Done {};

}  // namespace korvane
