#pragma once
// A notification service that answers as the test says and keeps every
// request it was handed. Answers come from a thread of their own, as a
// desktop service's do.
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/shell/notifications/notification_center.h"

namespace korvane::testing {

class RecordingNotificationCenter final : public app::NotificationCenter {
public:
    ~RecordingNotificationCenter() override { joinAll(); }

    app::NotificationAuthorization status = app::NotificationAuthorization::authorized;
    bool grant = true;
    std::string authorizationError;
    std::string addError;

    void getAuthorizationStatus(std::function<void(app::NotificationAuthorization)> done) override {
        answer([done = std::move(done), s = status] { done(s); });
    }
    void requestAuthorization(std::function<void(bool, std::string)> done) override {
        {
            std::lock_guard lock(mutex_);
            ++authorizationRequests_;
        }
        answer([done = std::move(done), g = grant, e = authorizationError] { done(g, e); });
    }
    void add(const app::NotificationRequest& request, std::function<void(std::string)> done) override {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        answer([done = std::move(done), e = addError] { done(e); });
    }

    std::vector<app::NotificationRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int authorizationRequests() const {
        std::lock_guard lock(mutex_);
        return authorizationRequests_;
    }
    // Waits for every answer to have been handed over.
    void joinAll() {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        for (auto& t : threads) t.join();
    }

private:
    template <class F>
    void answer(F reply) {
        std::lock_guard lock(mutex_);
        threads_.emplace_back(std::move(reply));
    }

    mutable std::mutex mutex_;
    std::vector<app::NotificationRequest> requests_;
    int authorizationRequests_ = 0;
    std::vector<std::thread> threads_;
};

}  // namespace korvane::testing
