#pragma once
// Turns the front-most application, as a desktop reports it from moment to
// moment, into the activations the focus engine hears. Every other
// application coming to the front is an activation at once. "Nothing in
// front" (an empty workspace, the last window minimised, the compositor
// gone) is one too, of no application, but only once it has lasted longer
// than a passing blink: desktops pass through nothing between two windows
// (KWin before every activation), and that must not release a focus or
// start Beast Mode's wait. Main thread only.
#include <cstdint>
#include <functional>
#include <optional>

#include "app/focus/workspace.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::linux_platform {

// The activation of no application: no pid, no ID, no name.
app::RunningApplication nothingInFront();

class FrontActivations {
public:
    static constexpr Duration kBlink = std::chrono::milliseconds(300);

    FrontActivations(MainLoop& loop, std::function<void(const app::RunningApplication&)> announce,
                     Duration blink = kBlink);

    // What is in front now (nothing when empty).
    void frontIs(const std::optional<app::RunningApplication>& front);
    // The same, known before anyone listens: remembered, not announced.
    void startWith(const std::optional<app::RunningApplication>& front);

private:
    MainLoop& loop_;
    std::function<void(const app::RunningApplication&)> announce_;
    Duration blink_;
    std::optional<std::int32_t> announced_;  // the pid last announced; 0 for nothing
    Timer pendingNothing_;
};

}  // namespace korvane::linux_platform
