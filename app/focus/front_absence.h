#pragma once
// "Nothing in front" as the focus engine counts it: the front stays empty
// (a click on the bare desktop, the last window minimised) for longer than
// the blink window managers pass through between two windows. Then it is an
// activation of no application: Auto-Focus releases, Beast Mode starts its
// deactivation wait. Every workspace adapter reports the raw moments
// (Workspace::observeFrontCleared); the rule lives here so they all share it.
// Main thread only.
#include <chrono>
#include <functional>

#include "app/focus/workspace.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class FrontAbsence {
public:
    static constexpr Duration kSettle = std::chrono::milliseconds(300);

    // `nothingInFront` runs each time the front has been empty for kSettle.
    FrontAbsence(MainLoop& loop, Workspace& workspace, std::function<void()> nothingInFront);
    FrontAbsence(const FrontAbsence&) = delete;
    FrontAbsence& operator=(const FrontAbsence&) = delete;

    // Starts the wait again if the front is empty now, for a caller that let
    // an earlier report pass while it was busy.
    void lookAgain();

private:
    void startWaiting();

    MainLoop& loop_;
    Workspace& workspace_;
    std::function<void()> nothingInFront_;
    Subscription cleared_;
    Subscription activated_;
    Timer wait_;
};

}  // namespace korvane::app
