#pragma once
// How the focus engine tells the user that it put focus in place. The engine
// owns this port so that it needs nothing of the shell; the shell's
// notifications implement it.
#include <string>

namespace korvane::app {

class FocusAnnouncer {
public:
    virtual ~FocusAnnouncer() = default;
    virtual void sendFocusActivatedNotification(const std::string& appName) = 0;
};

}  // namespace korvane::app
