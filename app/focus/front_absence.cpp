#include "app/focus/front_absence.h"

namespace korvane::app {

FrontAbsence::FrontAbsence(MainLoop& loop, Workspace& workspace, std::function<void()> nothingInFront)
    : loop_(loop), workspace_(workspace), nothingInFront_(std::move(nothingInFront)) {
    cleared_ = workspace_.observeFrontCleared([this] { startWaiting(); });
    activated_ = workspace_.observeActivation([this](const RunningApplication&) { wait_.cancel(); });
}

void FrontAbsence::lookAgain() {
    if (!workspace_.frontmostApplication()) startWaiting();
}

void FrontAbsence::startWaiting() {
    wait_ = Timer::once(loop_, kSettle, [this] {
        wait_ = Timer();
        if (!workspace_.frontmostApplication()) nothingInFront_();
    });
}

}  // namespace korvane::app
