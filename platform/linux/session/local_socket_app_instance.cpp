#include "platform/linux/session/local_socket_app_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <unistd.h>

namespace korvane::linux_platform {

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kToggle = QByteArrayLiteral("toggle\n");

}  // namespace

QString LocalSocketAppInstance::defaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return QString::fromLocal8Bit(runtime) + QStringLiteral("/korvane-app.sock");
    return QDir::tempPath() + QStringLiteral("/korvane-app-%1.sock").arg(::getuid());
}

LocalSocketAppInstance::LocalSocketAppInstance(QString socketPath) : path_(std::move(socketPath)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
}

app::AppInstance::Claim LocalSocketAppInstance::claim(std::function<void()> onToggle) {
    if (requestToggle()) return Claim::anotherIsRunning;
    // Nobody answered: a socket file left there belongs to an ended instance.
    QLocalServer::removeServer(path_);
    if (!server_.listen(path_)) return Claim::unavailable;
    onToggle_ = std::move(onToggle);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                const QByteArray line = client->readLine(64);
                if (line == kToggle && onToggle_) onToggle_();
                client->write("ok\n");
                client->flush();
            });
        }
    });
    return Claim::primary;
}

bool LocalSocketAppInstance::requestToggle() {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kToggle);
    if (!socket.waitForBytesWritten(kWaitMs)) return false;
    // The answer says a running instance, not a stale file, took the request.
    return socket.waitForReadyRead(kWaitMs) && socket.readLine(64).startsWith("ok");
}

}  // namespace korvane::linux_platform
