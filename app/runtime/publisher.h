#pragma once
// A description of a stream of values that anyone may subscribe to, with the
// operators the managers and the status bar combine: remove-duplicates,
// combine-latest, debounce and throttle (latest). Every subscription gets a
// chain of its own; the timed operators run on the main loop's clock, so tests
// drive them with virtual time. Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "app/runtime/subscription.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

template <class T>
class Publisher {
public:
    using Observer = std::function<void(const T&)>;
    using SubscribeFn = std::function<Subscription(Observer)>;

    explicit Publisher(SubscribeFn subscribe) : subscribe_(std::move(subscribe)) {}

    Subscription subscribe(Observer observer) const { return subscribe_(std::move(observer)); }

    template <class F>
    auto map(F transform) const -> Publisher<std::decay_t<std::invoke_result_t<F, const T&>>> {
        using U = std::decay_t<std::invoke_result_t<F, const T&>>;
        return Publisher<U>([up = subscribe_, transform](typename Publisher<U>::Observer down) {
            return up([transform, down = std::move(down)](const T& value) { down(transform(value)); });
        });
    }

    // Passes a value on only when it differs from the one passed before it.
    Publisher removeDuplicates() const {
        return Publisher([up = subscribe_](Observer down) {
            auto last = std::make_shared<std::optional<T>>();
            return up([last, down = std::move(down)](const T& value) {
                if (*last && **last == value) return;
                *last = value;
                down(value);
            });
        });
    }

    // Passes on the latest value once `quiet` has gone by without a new one;
    // every new value restarts the wait.
    Publisher debounce(MainLoop& loop, Duration quiet) const {
        return Publisher([up = subscribe_, &loop, quiet](Observer down) {
            struct State {
                std::optional<T> latest;
                Timer timer;
            };
            auto state = std::make_shared<State>();
            Subscription upstream = up([&loop, quiet, state, down](const T& value) {
                state->latest = value;
                state->timer = Timer::once(loop, quiet, [weak = std::weak_ptr<State>(state), down] {
                    auto alive = weak.lock();
                    if (!alive || !alive->latest) return;
                    T latest = std::move(*alive->latest);
                    alive->latest.reset();
                    down(latest);
                });
            });
            return Subscription::joined(std::move(upstream), Subscription([state] { state->timer.cancel(); }));
        });
    }

    // At most one value per `interval`: a value that arrives while no interval
    // is running goes on at once and starts one; values arriving during an
    // interval are held, and the latest of them goes on when it ends (starting
    // the next interval).
    Publisher throttleLatest(MainLoop& loop, Duration interval) const {
        return Publisher([up = subscribe_, &loop, interval](Observer down) {
            struct State {
                std::optional<T> held;
                bool intervalRunning = false;
                Timer timer;
            };
            auto state = std::make_shared<State>();
            // Ends an interval: sends what was held and starts the next one, or
            // goes idle when nothing came.
            auto endOfInterval = std::make_shared<std::function<void()>>();
            *endOfInterval = [weak = std::weak_ptr<State>(state), &loop, interval, down,
                              next = std::weak_ptr<std::function<void()>>(endOfInterval)] {
                auto alive = weak.lock();
                if (!alive) return;
                if (!alive->held) {
                    alive->intervalRunning = false;
                    return;
                }
                T latest = std::move(*alive->held);
                alive->held.reset();
                if (auto again = next.lock()) alive->timer = Timer::once(loop, interval, [again] { (*again)(); });
                down(latest);
            };
            Subscription upstream = up([&loop, interval, state, down, endOfInterval](const T& value) {
                if (state->intervalRunning) {
                    state->held = value;
                    return;
                }
                state->intervalRunning = true;
                state->timer = Timer::once(loop, interval, [endOfInterval] { (*endOfInterval)(); });
                down(value);
            });
            return Subscription::joined(std::move(upstream), Subscription([state] { state->timer.cancel(); }));
        });
    }

private:
    SubscribeFn subscribe_;
};

// Pairs the latest value of each source; emits on every value of either once
// both have delivered one.
template <class A, class B>
Publisher<std::pair<A, B>> combineLatest(Publisher<A> first, Publisher<B> second) {
    using Pair = std::pair<A, B>;
    return Publisher<Pair>([first, second](typename Publisher<Pair>::Observer down) {
        struct State {
            std::optional<A> a;
            std::optional<B> b;
        };
        auto state = std::make_shared<State>();
        auto emit = [state, down] {
            if (state->a && state->b) down(Pair(*state->a, *state->b));
        };
        Subscription sa = first.subscribe([state, emit](const A& value) {
            state->a = value;
            emit();
        });
        Subscription sb = second.subscribe([state, emit](const B& value) {
            state->b = value;
            emit();
        });
        return Subscription::joined(std::move(sa), std::move(sb));
    });
}

}  // namespace korvane::app
