#pragma once
// The focus engine's Workspace over what a desktop adapter publishes: the
// snapshot answered to every caller, the launches and terminations, each
// change of the front as an activation or as the front cleared, and what the
// adapter cannot see. Nothing in front is reported the moment it is
// published, however briefly it lasts: the focus engine decides when it
// counts. The Wayland adapters derive from it and publish from whichever
// thread they follow their compositor on; every announcement reaches the
// observers as a task of the main loop.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/focus/workspace.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/subject.h"
#include "shared/mainloop/main_loop.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct WorkspaceUpdate {
    std::vector<app::RunningApplication> apps;
    std::optional<app::RunningApplication> front;  // nothing in front when empty
    std::vector<app::RunningApplication> launched, terminated;
};

class PublishedWorkspace : public app::Workspace {
public:
    std::vector<app::RunningApplication> runningApplications() const override;
    std::optional<app::RunningApplication> frontmostApplication() const override;
    app::Subscription observeLaunch(AppObserver observer) override;
    app::Subscription observeTermination(AppObserver observer) override;
    app::Subscription observeActivation(AppObserver observer) override;
    app::Subscription observeFrontCleared(std::function<void()> observer) override;
    std::string blindSpot() const override;
    app::Subscription observeBlindSpot(TextObserver observer) override;

protected:
    explicit PublishedWorkspace(MainLoop& loop);
    // Derived adapters stop their own threads and callbacks first; from then
    // on nothing they posted runs.
    ~PublishedWorkspace() override;

    // Any thread.
    void publish(WorkspaceUpdate update);
    // The state found while opening, before anyone listens: no announcements.
    void publishInitial(WorkspaceUpdate update);
    // One line for the user (and the log) about what this desktop keeps from
    // Korvane; empty once it sees everything again.
    void setBlindSpot(std::string text);

private:
    // On the main loop: announces `front` if it differs from the front last
    // announced.
    void announceFront(const std::optional<app::RunningApplication>& front);

    mutable std::mutex mutex_;
    std::vector<app::RunningApplication> apps_;
    std::optional<app::RunningApplication> front_;
    std::string blindSpot_;

    std::shared_ptr<app::Lifeline> lifeline_;
    app::Subject<app::RunningApplication> launched_, terminated_, activated_;
    app::Subject<Done> cleared_;
    app::Subject<std::string> blindSpotChanged_;
    // The pid of the front last announced; 0 once it was announced cleared.
    std::int32_t announcedFront_ = 0;
};

}  // namespace korvane::linux_platform
