#include "platform/linux/session/local_socket_app_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/runtime/app_log.h"

namespace korvane::linux_platform {

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kToggle = QByteArrayLiteral("toggle\n");

// Whether the process at the other end of a connected local socket runs as us.
bool peerIsUs(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t length = sizeof peer;
    const auto fd = static_cast<int>(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::geteuid();
}

}  // namespace

Expected<QString, std::string> LocalSocketAppInstance::defaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) return QString::fromLocal8Bit(runtime) + QStringLiteral("/korvane-app.sock");
    return socketPathIn(QDir::tempPath() + QStringLiteral("/korvane-%1").arg(::geteuid()), QStringLiteral("app.sock"));
}

Expected<QString, std::string> LocalSocketAppInstance::socketPathIn(const QString& privateFolder,
                                                                     const QString& fileName) {
    const QByteArray folder = QFile::encodeName(privateFolder);
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        return unexpected("cannot create " + folder.toStdString() + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (::lstat(folder.constData(), &info) != 0) {
        return unexpected("cannot look at " + folder.toStdString() + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 0077) != 0) {
        return unexpected(folder.toStdString() + " is not a folder of ours that only we may use");
    }
    return privateFolder + QLatin1Char('/') + fileName;
}

LocalSocketAppInstance::LocalSocketAppInstance(QString socketPath) : path_(std::move(socketPath)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
}

app::AppInstance::Claim LocalSocketAppInstance::claim(std::function<void()> onToggle) {
    if (requestToggle()) return Claim::anotherIsRunning;
    // Nobody of ours answered: a socket file left there belongs to an ended instance.
    QLocalServer::removeServer(path_);
    if (!server_.listen(path_)) return Claim::unavailable;
    onToggle_ = std::move(onToggle);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) serve(client);
    });
    return Claim::primary;
}

void LocalSocketAppInstance::serve(QLocalSocket* client) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (!peerIsUs(*client)) {
        client->abort();
        return;
    }
    // What waits unread stays in the kernel's buffer, not in ours.
    client->setReadBufferSize(kMaxMessageBytes);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (!client->canReadLine()) {
            if (client->bytesAvailable() >= kMaxMessageBytes) client->abort();
            return;
        }
        const QByteArray line = client->readLine(kMaxMessageBytes + 1);
        if (line == kToggle && onToggle_) onToggle_();
        client->write("ok\n");
        client->flush();
    });
}

bool LocalSocketAppInstance::requestToggle() {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    // Only an instance of ours may make this start end.
    if (!peerIsUs(socket)) {
        app::logLine("One instance: " + path_.toStdString() + " is served by another user; not asking it");
        return false;
    }
    socket.write(kToggle);
    if (!socket.waitForBytesWritten(kWaitMs)) return false;
    // The answer says a running instance, not a stale file, took the request.
    return socket.waitForReadyRead(kWaitMs) && socket.readLine(64).startsWith("ok");
}

}  // namespace korvane::linux_platform
