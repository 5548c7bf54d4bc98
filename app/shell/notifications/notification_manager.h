#pragma once
// NotificationManager: tells the user that focus is now active for an
// application, when notifications are wanted ("NotificationsEnabled") and
// the desktop allows them. Main thread only; the centre's completions are
// brought back to the main loop here.
#include <memory>
#include <string>
#include <string_view>

#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/settings_store.h"
#include "app/focus/focus_announcer.h"
#include "app/shell/notifications/notification_center.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class NotificationManager final : public FocusAnnouncer {
public:
    static constexpr std::string_view kEnabledKey = "NotificationsEnabled";
    static constexpr std::string_view kIdentifierPrefix = "com.korvane.focus-activated-";

    struct Dependencies {
        MainLoop& mainLoop;
        SettingsStore& settings;
        NotificationCenter& center;
    };

    // Reads the setting and asks the centre whether alerts are allowed.
    explicit NotificationManager(Dependencies dependencies);
    ~NotificationManager() override;
    NotificationManager(const NotificationManager&) = delete;
    NotificationManager& operator=(const NotificationManager&) = delete;

    // Every assignment is stored; assigning true asks for permission again.
    Published<bool> isEnabled{false};
    Published<bool> isAuthorized{false};

    void sendFocusActivatedNotification(const std::string& appName) override;

private:
    void onEnabledAssigned();

    SettingsStore& settings_;
    NotificationCenter& center_;
    std::shared_ptr<Lifeline> lifeline_;
};

}  // namespace korvane::app
