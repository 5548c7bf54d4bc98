#include "platform/linux/workspace/front_activations.h"

namespace korvane::linux_platform {

app::RunningApplication nothingInFront() { return app::RunningApplication{}; }

FrontActivations::FrontActivations(MainLoop& loop, std::function<void(const app::RunningApplication&)> announce,
                                   Duration blink)
    : loop_(loop), announce_(std::move(announce)), blink_(blink) {}

void FrontActivations::startWith(const std::optional<app::RunningApplication>& front) {
    pendingNothing_.cancel();
    announced_ = front ? front->processIdentifier : 0;
}

void FrontActivations::frontIs(const std::optional<app::RunningApplication>& front) {
    if (front && front->processIdentifier != 0) {
        pendingNothing_.cancel();
        if (announced_ == front->processIdentifier) return;
        announced_ = front->processIdentifier;
        announce_(*front);
        return;
    }
    if (announced_ == 0 || pendingNothing_.active()) return;
    pendingNothing_ = Timer::once(loop_, blink_, [this] {
        pendingNothing_ = Timer();
        announced_ = 0;
        announce_(nothingInFront());
    });
}

}  // namespace korvane::linux_platform
