#pragma once
// One Korvane per user without a session bus: the running instance listens
// on a socket in $XDG_RUNTIME_DIR (private to the user); a later start
// connects and writes "toggle".
#include <QLocalServer>
#include <QObject>
#include <QString>

#include "app/shell/app_instance.h"

namespace korvane::linux_platform {

class LocalSocketAppInstance final : public QObject, public app::AppInstance {
    Q_OBJECT
public:
    // $XDG_RUNTIME_DIR/korvane-app.sock, or a per-uid name in the temporary folder.
    static QString defaultSocketPath();

    explicit LocalSocketAppInstance(QString socketPath = defaultSocketPath());

    Claim claim(std::function<void()> onToggle) override;
    bool requestToggle() override;

private:
    QString path_;
    QLocalServer server_;
    std::function<void()> onToggle_;
};

}  // namespace korvane::linux_platform
