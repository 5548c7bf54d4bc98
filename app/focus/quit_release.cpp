#include "app/focus/quit_release.h"

#include "app/focus/app_manager.h"
#include "app/runtime/app_log.h"
#include "app/runtime/task.h"

namespace korvane::app {
namespace {

void logStillThrottled(const std::string& why) {
    logLine("Quit: " + why +
            "; the other applications stay throttled until a later release finds them in the helper's records");
}

}  // namespace

QuitRelease::QuitRelease(MainLoop& loop, Duration limit)
    : loop_(loop), limit_(limit), lifeline_(Lifeline::make(loop)) {}

QuitRelease::~QuitRelease() { lifeline_->close(); }

void QuitRelease::start(AppManager& apps, XPCManager& xpc, std::function<void()> quit) {
    if (started_) return;
    started_ = true;
    quit_ = std::move(quit);
    if (!apps.isFocusModeActive.get()) {
        finish();
        return;
    }
    deadline_ = Timer::once(loop_, limit_, [this] {
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(limit_).count();
        logStillThrottled("the helper did not release focus within " + std::to_string(waited) + " s");
        finish();
    });
    spawn(lifeline_, [this, &apps, &xpc]() -> Async<> {
        const bool released = co_await apps.runFocusReleaseSequence(xpc);
        if (!quit_) co_return;  // the deadline came first
        if (!released) logStillThrottled("the helper could not release every application");
        finish();
    });
}

void QuitRelease::finish() {
    deadline_.cancel();
    if (!quit_) return;
    auto quit = std::move(quit_);
    quit_ = nullptr;
    quit();
}

}  // namespace korvane::app
