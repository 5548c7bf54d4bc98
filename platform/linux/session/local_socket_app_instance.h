#pragma once
// One Korvane per user without a session bus: the running instance listens
// on a socket private to the user; a later start connects and writes
// "toggle". Only the same user counts on either side: a socket served by
// another user is never believed, and another user's requests are ignored.
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <string>

#include "app/shell/app_instance.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

class LocalSocketAppInstance final : public QObject, public app::AppInstance {
    Q_OBJECT
public:
    // The longest request line; a peer that sends more without ending it is cut off.
    static constexpr qint64 kMaxMessageBytes = 4096;

    // $XDG_RUNTIME_DIR/korvane-app.sock (that folder is the user's own), or
    // else app.sock in korvane-<uid> in the temporary folder, which is made
    // with mode 0700. Fails, saying why, when that folder is not a folder of
    // ours closed to everyone else (another user may have made it first).
    static Expected<QString, std::string> defaultSocketPath();
    // The same check for any folder, made when missing.
    static Expected<QString, std::string> socketPathIn(const QString& privateFolder, const QString& fileName);

    explicit LocalSocketAppInstance(QString socketPath);

    Claim claim(std::function<void()> onToggle) override;
    bool requestToggle() override;

private:
    void serve(class QLocalSocket* client);

    QString path_;
    QLocalServer server_;
    std::function<void()> onToggle_;
};

}  // namespace korvane::linux_platform
