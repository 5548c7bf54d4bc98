#pragma once
// An observation that lasts as long as its token: dropping or cancelling the
// token ends it, so an owner that forgets to unsubscribe cannot be called
// after it is gone.
#include <functional>
#include <memory>
#include <utility>

namespace korvane::app {

class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ~Subscription() { cancel(); }
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    bool active() const { return static_cast<bool>(cancel_); }
    void cancel() {
        if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
    }

    // One token for several observations, ended together.
    static Subscription joined(Subscription a, Subscription b) {
        auto pair = std::make_shared<std::pair<Subscription, Subscription>>(std::move(a), std::move(b));
        return Subscription([pair] {
            pair->first.cancel();
            pair->second.cancel();
        });
    }

private:
    std::function<void()> cancel_;
};

}  // namespace korvane::app
