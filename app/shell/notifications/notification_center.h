#pragma once
// The desktop's notification service as NotificationManager needs it. The
// manager owns this interface; the freedesktop adapter (D-Bus) implements it,
// tests use a recording fake. Completions may run on any thread; the manager
// hops to the main loop itself.
#include <functional>
#include <string>

namespace korvane::app {

struct NotificationRequest {
    std::string identifier;  // "com.korvane.focus-activated-" + upper-case UUID
    std::string title;
    std::string body;
    bool playDefaultSound = true;
};

enum class NotificationAuthorization { notDetermined, denied, authorized, provisional };

class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;

    // Whether alerts may be shown now.
    virtual void getAuthorizationStatus(std::function<void(NotificationAuthorization)> done) = 0;

    // Asks for permission to show alerts with sound. `error` is empty unless
    // asking failed, and then describes why.
    virtual void requestAuthorization(std::function<void(bool granted, std::string error)> done) = 0;

    // Shows the notification at once. `error` is empty on success.
    virtual void add(const NotificationRequest& request, std::function<void(std::string error)> done) = 0;
};

}  // namespace korvane::app
