#pragma once
// A desktop with no applications, for a session whose windows cannot be
// followed (no X display): the managers run, and simply see nothing.
#include "app/focus/workspace.h"

namespace korvane::app {

class EmptyWorkspace final : public Workspace {
public:
    std::vector<RunningApplication> runningApplications() const override { return {}; }
    std::optional<RunningApplication> frontmostApplication() const override { return std::nullopt; }
    Subscription observeLaunch(AppObserver) override { return {}; }
    Subscription observeTermination(AppObserver) override { return {}; }
    Subscription observeActivation(AppObserver) override { return {}; }
};

}  // namespace korvane::app
