#include "platform/linux/workspace/published_workspace.h"

#include "app/runtime/app_log.h"

namespace korvane::linux_platform {

using app::RunningApplication;

PublishedWorkspace::PublishedWorkspace(MainLoop& loop) : lifeline_(app::Lifeline::make(loop)) {}

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
        announceFront(update.front);
    });
}

// Once per change, as the X11 workspace does: what comes to the front after
// nothing is an activation again, even the application that was there.
void PublishedWorkspace::announceFront(const std::optional<RunningApplication>& front) {
    const std::int32_t pid = front ? front->processIdentifier : 0;
    if (pid == announcedFront_) return;
    announcedFront_ = pid;
    if (front) activated_.send(*front);
    else cleared_.send(Done{});
}

void PublishedWorkspace::publishInitial(WorkspaceUpdate update) {
    {
        std::lock_guard lock(mutex_);
        apps_ = update.apps;
        front_ = update.front;
    }
    lifeline_->post([this, pid = update.front ? update.front->processIdentifier : 0] { announcedFront_ = pid; });
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

app::Subscription PublishedWorkspace::observeFrontCleared(std::function<void()> observer) {
    return cleared_.subscribe([observer = std::move(observer)](const Done&) { observer(); });
}

app::Subscription PublishedWorkspace::observeBlindSpot(TextObserver observer) {
    return blindSpotChanged_.subscribe(std::move(observer));
}

}  // namespace korvane::linux_platform
