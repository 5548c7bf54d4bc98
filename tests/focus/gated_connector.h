#pragma once
// Holds the helper's replies back while a test looks at the state in between
// a call and its answer, then lets them through.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "shared/client/helper_connection.h"

namespace korvane::testing {

class GatedConnector final : public HelperConnector {
public:
    explicit GatedConnector(HelperConnector& real) : real_(real) {}

    std::shared_ptr<HelperConnection> connect(ConnectionHandlers handlers) override {
        auto inner = real_.connect(std::move(handlers));
        return inner ? std::make_shared<Connection>(std::move(inner), gate_) : nullptr;
    }

    void hold() {
        std::lock_guard lock(gate_->mutex);
        gate_->holding = true;
    }
    // Waits (bounded) until `count` replies are held.
    bool waitHeld(std::size_t count) {
        std::unique_lock lock(gate_->mutex);
        return gate_->arrived.wait_for(lock, std::chrono::seconds(10), [&] { return gate_->held.size() >= count; });
    }
    // Hands the held replies over from a thread of their own, as the
    // connection's queue would, and lets later ones through at once.
    void release() {
        std::vector<std::function<void()>> held;
        {
            std::lock_guard lock(gate_->mutex);
            gate_->holding = false;
            held.swap(gate_->held);
        }
        std::thread([held = std::move(held)] {
            for (auto& deliver : held) deliver();
        }).join();
    }

private:
    struct Gate {
        std::mutex mutex;
        std::condition_variable arrived;
        bool holding = false;
        std::vector<std::function<void()>> held;
    };

    class Connection final : public HelperConnection {
    public:
        Connection(std::shared_ptr<HelperConnection> inner, std::shared_ptr<Gate> gate)
            : inner_(std::move(inner)), gate_(std::move(gate)) {}
        void send(msg::Call call, CallCompletion completion) override {
            inner_->send(std::move(call), [gate = gate_, completion = std::move(completion)](auto answer) {
                std::unique_lock lock(gate->mutex);
                if (!gate->holding) {
                    lock.unlock();
                    completion(std::move(answer));
                    return;
                }
                gate->held.push_back([completion, answer = std::move(answer)] { completion(answer); });
                gate->arrived.notify_all();
            });
        }
        void invalidate() override { inner_->invalidate(); }

    private:
        std::shared_ptr<HelperConnection> inner_;
        std::shared_ptr<Gate> gate_;
    };

    HelperConnector& real_;
    std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

}  // namespace korvane::testing
