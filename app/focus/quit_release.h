#pragma once
// Quitting while focus is on gives the other applications their cores back
// first. A helper that does not answer must not keep the user from quitting:
// the release gets a fixed time, and when it has not finished by then (or
// failed), the log says the applications stay throttled, since the helper
// keeps them on record for a later release, and Korvane quits anyway. The
// tray menu's Quit and the popover's share it. Main thread only.
#include <functional>
#include <memory>

#include "app/runtime/lifeline.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class AppManager;
class XPCManager;

class QuitRelease {
public:
    static constexpr Duration kDefaultLimit = std::chrono::seconds(5);

    explicit QuitRelease(MainLoop& loop, Duration limit = kDefaultLimit);
    ~QuitRelease();
    QuitRelease(const QuitRelease&) = delete;
    QuitRelease& operator=(const QuitRelease&) = delete;

    // Releases focus when it is on, then runs `quit` once, at most `limit`
    // later. Only the first call counts. Both managers outlive this object.
    void start(AppManager& apps, XPCManager& xpc, std::function<void()> quit);

private:
    void finish();

    MainLoop& loop_;
    Duration limit_;
    std::shared_ptr<Lifeline> lifeline_;
    Timer deadline_;
    bool started_ = false;
    std::function<void()> quit_;
};

}  // namespace korvane::app
