#include "platform/linux/socket/unix_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "shared/protocol/wire_codec.h"

namespace korvane::linux_platform {
namespace {

std::string errorText(const std::string& what, int error) { return what + ": " + std::strerror(error); }

Expected<sockaddr_un, std::string> addressFor(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return unexpected("socket path is empty or too long: " + path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

std::string parentOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return slash == 0 ? "/" : ".";
    return path.substr(0, slash);
}

// Reads exactly n bytes. Returns n, 0 when the peer closed before the first byte, or -1.
ssize_t readExact(int fd, char* buffer, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t got = ::recv(fd, buffer + done, n - done, 0);
        if (got == 0) return done == 0 ? 0 : -1;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

Expected<Done, std::string> ensurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0755) == 0) {
        // The umask may have taken bits we want others to have (reading the
        // folder to reach the socket).
        if (::chmod(folder.c_str(), 0755) != 0) return unexpected(errorText("chmod " + folder, errno));
    } else if (errno != EEXIST) {
        return unexpected(errorText("cannot create " + folder, errno));
    }
    struct stat info{};
    if (::lstat(folder.c_str(), &info) != 0) return unexpected(errorText("cannot look at " + folder, errno));
    if (!S_ISDIR(info.st_mode)) return unexpected(folder + " is not a folder");
    if (info.st_uid != ::geteuid()) {
        return unexpected(folder + " belongs to uid " + std::to_string(info.st_uid) + ", not to uid " +
                          std::to_string(::geteuid()));
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return unexpected(folder + " may be written by others");
    return Done{};
}

Expected<Listener, std::string> listenUnix(const std::string& path, uid_t owner) {
    auto address = addressFor(path);
    if (!address) return unexpected(address.error());
    if (auto folder = ensurePrivateFolder(parentOf(path)); !folder) return unexpected(folder.error());

    struct stat existing{};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) return unexpected(path + " exists and is not a socket");
        if (connectUnix(path)) return unexpected("another helper is already serving " + path);
        // Nobody listens: the file of a server that died without removing it.
        ::unlink(path.c_str());
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return unexpected(errorText("socket", errno));
    // Bound under a restrictive umask, the file has mode 0600 from its first
    // moment; no chmod by name is needed.
    mode_t previous = ::umask(0177);
    int bound = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un));
    int bindError = errno;
    ::umask(previous);
    if (bound != 0) return unexpected(errorText("cannot bind " + path, bindError));
    Listener listener{std::move(fd), {}};
    struct stat bound_{};
    if (::lstat(path.c_str(), &bound_) != 0 || !S_ISSOCK(bound_.st_mode)) {
        return unexpected(path + " vanished after binding");
    }
    listener.file = {bound_.st_dev, bound_.st_ino};
    // lchown never follows a link, should the path have become one.
    if (::lchown(path.c_str(), owner, static_cast<gid_t>(-1)) != 0 && ::geteuid() == 0) {
        int error = errno;
        removeSocketFile(path, listener.file);
        return unexpected(errorText("cannot hand " + path + " to uid " + std::to_string(owner), error));
    }
    if (::listen(listener.fd.get(), 64) != 0) {
        int error = errno;
        removeSocketFile(path, listener.file);
        return unexpected(errorText("listen", error));
    }
    return listener;
}

void removeSocketFile(const std::string& path, const SocketFile& file) {
    struct stat now{};
    if (::lstat(path.c_str(), &now) != 0) return;
    if (now.st_dev == file.device && now.st_ino == file.inode) ::unlink(path.c_str());
}

Expected<Fd, std::string> connectUnix(const std::string& path) {
    auto address = addressFor(path);
    if (!address) return unexpected(address.error());
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return unexpected(errorText("socket", errno));
    while (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) {
        if (errno == EINTR) continue;
        return unexpected(errorText("cannot connect to " + path, errno));
    }
    return fd;
}

Expected<Fd, AcceptError> acceptUnix(int listener) {
    for (;;) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) return Fd(fd);
        int error = errno;
        if (error == EINTR || error == ECONNABORTED) continue;
        bool transient = error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
        return unexpected(AcceptError{errorText("accept", error), transient});
    }
}

Expected<PeerCredentials, std::string> peerCredentials(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) {
        return unexpected(errorText("SO_PEERCRED", errno));
    }
    return PeerCredentials{cred.pid, cred.uid, cred.gid};
}

FrameRead readFrame(int fd) {
    unsigned char prefix[wire::kLengthPrefixBytes];
    ssize_t got = readExact(fd, reinterpret_cast<char*>(prefix), sizeof prefix);
    if (got == 0) return {ReadStatus::Closed, {}, {}};
    if (got < 0) return {ReadStatus::Error, {}, "connection broke inside a message"};
    auto length = wire::decodeLength(prefix);
    if (!length) return {ReadStatus::Error, {}, length.error()};
    std::string payload(*length, '\0');
    if (readExact(fd, payload.data(), payload.size()) != static_cast<ssize_t>(payload.size())) {
        return {ReadStatus::Error, {}, "connection broke inside a message"};
    }
    return {ReadStatus::Frame, std::move(payload), {}};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace korvane::linux_platform
