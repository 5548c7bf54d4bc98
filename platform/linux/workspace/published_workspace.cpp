#include "platform/linux/workspace/published_workspace.h"

#include "app/runtime/app_log.h"

namespace korvane::linux_platform {

using app::RunningApplication;

PublishedWorkspace::PublishedWorkspace(MainLoop& loop, Duration blink)
    : lifeline_(app::Lifeline::make(loop)),
      activations_(loop, [this](const RunningApplication& app) { activated_.send(app); }, blink) {}

PublishedWorkspace::~PublishedWorkspace() { lifeline_->close(); }

void PublishedWorkspace::publish(WorkspaceUpdate update) {
    {
        std::lock_guard lock(mutex_);
        apps_ = update.apps;
        front_ = update.front;
    }
    lifeline_->post([this, update = std::move(update)] {
        for (const auto& app : update.launched) launched_.send(app);
        for (const auto& app : update.terminated) terminated_.send(app);
        activations_.frontIs(update.front);
    });
}

void PublishedWorkspace::publishInitial(WorkspaceUpdate update) {
    {
        std::lock_guard lock(mutex_);
        apps_ = update.apps;
        front_ = update.front;
    }
    lifeline_->post([this, front = std::move(update.front)] { activations_.startWith(front); });
}

void PublishedWorkspace::setBlindSpot(std::string text) {
    {
        std::lock_guard lock(mutex_);
        if (blindSpot_ == text) return;
        blindSpot_ = text;
    }
    app::logLine("Workspace: " + (text.empty() ? std::string("the desktop can be followed again") : text));
    lifeline_->post([this, text = std::move(text)] { blindSpotChanged_.send(text); });
}

std::vector<RunningApplication> PublishedWorkspace::runningApplications() const {
    std::lock_guard lock(mutex_);
    return apps_;
}

std::optional<RunningApplication> PublishedWorkspace::frontmostApplication() const {
    std::lock_guard lock(mutex_);
    return front_;
}

std::string PublishedWorkspace::blindSpot() const {
    std::lock_guard lock(mutex_);
    return blindSpot_;
}

app::Subscription PublishedWorkspace::observeLaunch(AppObserver observer) {
    return launched_.subscribe(std::move(observer));
}

app::Subscription PublishedWorkspace::observeTermination(AppObserver observer) {
    return terminated_.subscribe(std::move(observer));
}

app::Subscription PublishedWorkspace::observeActivation(AppObserver observer) {
    return activated_.subscribe(std::move(observer));
}

app::Subscription PublishedWorkspace::observeBlindSpot(TextObserver observer) {
    return blindSpotChanged_.subscribe(std::move(observer));
}

}  // namespace korvane::linux_platform
