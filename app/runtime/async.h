#pragma once
// Async<T>: an operation that may suspend, written as a C++20 coroutine. It
// starts when it is awaited (`T value = co_await op();`) and resumes its
// awaiter when it finishes. Every Async runs inside a task started with
// spawn() (task.h), on the main loop's thread; whatever it awaits (a sleep, a
// helper reply, another Async) resumes it on that thread, and other
// main-thread work runs in between.
//
// Never write a coroutine as a lambda with captures that is called and
// dropped: its captures die with the lambda. Use member functions or free
// functions taking their arguments by value, or hand the lambda to spawn(),
// which keeps it alive as long as the task.
//
// g++ 12: build an aggregate argument into a named local before awaiting
// (`msg::Call call = msg::Ping{}; co_await f(std::move(call));`), and keep
// co_await out of `if`/`while` conditions: that compiler destroys such
// temporaries twice.
#include <cassert>
#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace korvane::app {

class TaskState;

namespace detail {

// What every frame of a task knows: the task it runs in and who awaits it.
struct PromiseBase {
    TaskState* task = nullptr;
    std::coroutine_handle<> continuation;

    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> finished) const noexcept {
            auto next = finished.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };

    std::suspend_always initial_suspend() const noexcept { return {}; }
    FinalAwaiter final_suspend() const noexcept { return {}; }
    // Failures cross our boundaries as values; an exception here is a bug.
    void unhandled_exception() const noexcept { std::terminate(); }
};

template <class T>
struct ValuePromise : PromiseBase {
    std::optional<T> result;
    void return_value(T value) { result = std::move(value); }
    T take() { return std::move(*result); }
};

struct VoidPromise : PromiseBase {
    void return_void() const noexcept {}
    void take() const noexcept {}
};

}  // namespace detail

template <class T = void>
class [[nodiscard]] Async {
public:
    struct promise_type
        : std::conditional_t<std::is_void_v<T>, detail::VoidPromise, detail::ValuePromise<T>> {
        Async get_return_object() { return Async(std::coroutine_handle<promise_type>::from_promise(*this)); }
    };
    using Handle = std::coroutine_handle<promise_type>;

    Async(Async&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Async& operator=(Async&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Async(const Async&) = delete;
    Async& operator=(const Async&) = delete;
    ~Async() { reset(); }

    // Awaiting runs this operation inside the awaiting task.
    bool await_ready() const noexcept { return false; }
    template <class P>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<P> awaiting) noexcept {
        handle_.promise().task = awaiting.promise().task;
        handle_.promise().continuation = awaiting;
        return handle_;
    }
    decltype(auto) await_resume() { return handle_.promise().take(); }

private:
    friend class TaskState;
    explicit Async(Handle handle) : handle_(handle) {}
    void reset() {
        if (handle_) handle_.destroy();
        handle_ = nullptr;
    }

    Handle handle_;
};

}  // namespace korvane::app
