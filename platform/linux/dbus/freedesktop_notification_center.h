#pragma once
// Desktop notifications through org.freedesktop.Notifications on the session
// bus. "Authorized" means a notification server answers GetCapabilities; with
// no session bus nothing is authorized and nothing fails. Each notification
// stands alone (replaces_id 0) and carries its identifier in the hint
// "x-korvane-identifier". Completions run on the Qt main thread.
#include <QDBusConnection>

#include "app/shell/notifications/notification_center.h"

namespace korvane::linux_platform {

class FreedesktopNotificationCenter final : public app::NotificationCenter {
public:
    static constexpr const char* kIdentifierHint = "x-korvane-identifier";
    static constexpr const char* kSoundName = "message-new-instant";

    explicit FreedesktopNotificationCenter(QDBusConnection bus);

    void getAuthorizationStatus(std::function<void(app::NotificationAuthorization)> done) override;
    void requestAuthorization(std::function<void(bool granted, std::string error)> done) override;
    void add(const app::NotificationRequest& request, std::function<void(std::string error)> done) override;

private:
    // Asks the server for its capabilities: empty error when it answered.
    void askServer(std::function<void(bool answered, std::string error)> done);

    QDBusConnection bus_;
};

}  // namespace korvane::linux_platform
