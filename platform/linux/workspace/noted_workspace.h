#pragma once
// A workspace with a fixed note of what it cannot see: the X11 workspace on
// a Wayland desktop that offers Korvane no way in (it sees only Xwayland's
// windows), or no workspace at all.
#include <memory>
#include <string>

#include "app/focus/workspace.h"

namespace korvane::linux_platform {

class NotedWorkspace final : public app::Workspace {
public:
    NotedWorkspace(std::unique_ptr<app::Workspace> inner, std::string blindSpot)
        : inner_(std::move(inner)), blindSpot_(std::move(blindSpot)) {}

    std::vector<app::RunningApplication> runningApplications() const override { return inner_->runningApplications(); }
    std::optional<app::RunningApplication> frontmostApplication() const override {
        return inner_->frontmostApplication();
    }
    app::Subscription observeLaunch(AppObserver observer) override {
        return inner_->observeLaunch(std::move(observer));
    }
    app::Subscription observeTermination(AppObserver observer) override {
        return inner_->observeTermination(std::move(observer));
    }
    app::Subscription observeActivation(AppObserver observer) override {
        return inner_->observeActivation(std::move(observer));
    }
    app::Subscription observeFrontCleared(std::function<void()> observer) override {
        return inner_->observeFrontCleared(std::move(observer));
    }
    std::string blindSpot() const override { return blindSpot_; }

private:
    std::unique_ptr<app::Workspace> inner_;
    std::string blindSpot_;
};

}  // namespace korvane::linux_platform
