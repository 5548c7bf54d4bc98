#pragma once
// Which connection owns a well-known name on the bus (org.kde.KWin,
// org.gnome.Shell), followed as it changes. Any program of the user can call
// or signal on the session bus; the desktop's workspaces believe only the
// unique name that owns their compositor's name.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

class QDBusServiceWatcher;

namespace korvane::linux_platform {

class BusNameOwner final : public QObject {
    Q_OBJECT
public:
    // `changed` runs with the new owner (empty when the name has none) once
    // the first answer arrives and at every change after it.
    BusNameOwner(QDBusConnection bus, QString name, std::function<void(const QString&)> changed);

    const QString& owner() const { return owner_; }
    // Whether `sender` (a unique name) owns the name now.
    bool owns(const QString& sender) const { return !owner_.isEmpty() && sender == owner_; }

private:
    void take(const QString& owner);

    QString name_;
    QString owner_;
    bool answered_ = false;
    std::function<void(const QString&)> changed_;
    QDBusServiceWatcher* watcher_;
};

}  // namespace korvane::linux_platform
