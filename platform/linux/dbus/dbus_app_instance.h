#pragma once
// One Korvane per session over D-Bus: the running instance owns the name
// com.korvane.app and serves org.freedesktop.Application at /com/korvane/app;
// a second start (or `korvane --toggle`) calls Activate there, which toggles
// the popover.
#include <QDBusConnection>
#include <QObject>

#include "app/shell/app_instance.h"

namespace korvane::linux_platform {

class DBusAppInstance final : public QObject, public app::AppInstance {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "com.korvane.app";
    static constexpr const char* kObjectPath = "/com/korvane/app";

    explicit DBusAppInstance(QDBusConnection bus);
    ~DBusAppInstance() override;

    Claim claim(std::function<void()> onToggle) override;
    bool requestToggle() override;

    void toggleRequested();

private:
    QDBusConnection bus_;
    std::function<void()> onToggle_;
    bool owner_ = false;
};

}  // namespace korvane::linux_platform
