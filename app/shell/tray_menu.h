#pragma once
// The tray item's right-click menu: "Open Korvane", "Throttled Now…", the
// heatmap, notifications and login switches, "About Korvane" and "Quit
// Korvane". A switch that cannot do what its tick says says so: "Start at
// Login" explains a failure and, where the installation ships no autostart
// entry, offers to write one; "Notifications" says when no notification
// server would show anything. Main thread only.
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "app/runtime/settings_store.h"
#include "app/runtime/subscription.h"
#include "app/shell/login_item.h"
#include "app/shell/notifications/notification_manager.h"

class QAction;
class QMenu;

namespace korvane::app {

class TrayMenu final : public QObject {
public:
    struct Actions {
        std::function<void()> openPopover;
        std::function<void()> showThrottledNow;
        std::function<void()> showAbout;
        std::function<void()> quit;
    };

    // `loginItem` may be null (no "Start at Login"); it outlives the menu.
    TrayMenu(SettingsStore& settings, std::shared_ptr<NotificationManager> notifications, LoginItem* loginItem,
             Actions actions);
    ~TrayMenu() override;

    QMenu* menu() const { return menu_.get(); }
    // The question or message the menu showed last, while it is open.
    QMessageBox* message() const { return message_; }

private:
    void followOutsideChanges();
    void showNotificationsNote();
    void loginToggled(bool on);
    void offerOwnEntry();
    QMessageBox* tell(const QString& text, QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    SettingsStore& settings_;
    std::shared_ptr<NotificationManager> notifications_;
    LoginItem* loginItem_;
    Actions actions_;
    std::unique_ptr<QMenu> menu_;
    QAction* heatmap_ = nullptr;
    QAction* notificationsItem_ = nullptr;
    QAction* notificationsNote_ = nullptr;
    QAction* login_ = nullptr;
    QPointer<QMessageBox> message_;
    Subscription authorization_;
    bool awaitingPermission_ = false;
};

}  // namespace korvane::app
