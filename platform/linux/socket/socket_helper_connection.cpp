#include "platform/linux/socket/socket_helper_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include "shared/protocol/wire_codec.h"

namespace korvane::linux_platform {
namespace {

constexpr const char* kInterrupted = "The connection to the helper was interrupted.";
constexpr const char* kInvalidated = "The connection to the helper was invalidated.";

// Whoever could put a socket at this path must not hear our requests: only a
// helper run by root (or by ourselves, who could do all it does anyway) is
// spoken to.
Expected<Fd, std::string> connectToRootPeer(const std::string& socketPath) {
    auto connected = connectUnix(socketPath);
    if (!connected) return connected;
    auto peer = peerCredentials(connected->get());
    if (!peer) return unexpected(peer.error());
    if (peer->uid != 0 && peer->uid != ::geteuid()) {
        return unexpected(socketPath + " is served by uid " + std::to_string(peer->uid) + ", not by root");
    }
    return connected;
}

}  // namespace

SocketHelperConnection::SocketHelperConnection(const std::string& socketPath, ConnectionHandlers handlers)
    : handlers_(std::move(handlers)) {
    auto connected = connectToRootPeer(socketPath);
    if (!connected) {
        state_ = State::Unreachable;
        closedReason_ = "Couldn't communicate with the helper (" + connected.error() + ").";
        if (handlers_.invalidated) queue_.post(handlers_.invalidated);
        return;
    }
    fd_ = std::move(*connected);
    reader_ = std::thread([this] { readLoop(); });
}

SocketHelperConnection::~SocketHelperConnection() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Open) {
            state_ = State::Closed;
            closedReason_ = kInvalidated;
            failPendingLocked(kInvalidated);
        }
    }
    if (fd_.valid()) ::shutdown(fd_.get(), SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
}

void SocketHelperConnection::failPendingLocked(const std::string& description) {
    for (auto& [id, pending] : pending_) {
        queue_.post([completion = std::move(pending.completion), description] {
            completion(unexpected(ConnectionError{description}));
        });
    }
    pending_.clear();
}

void SocketHelperConnection::send(msg::Call call, CallCompletion completion) {
    std::uint64_t id;
    std::string frame;
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Open) {
            queue_.post([completion = std::move(completion), why = closedReason_] {
                completion(unexpected(ConnectionError{why}));
            });
            return;
        }
        id = nextId_++;
        frame = wire::encodeRequest(id, call);
        pending_.emplace(id, Pending{std::move(completion), msg::answersWithPingShape(call)});
    }
    std::lock_guard writeLock(writeMutex_);
    if (!writeAll(fd_.get(), frame)) {
        // The reader sees the broken socket too and fails whatever is pending,
        // this call included.
        ::shutdown(fd_.get(), SHUT_RDWR);
    }
}

void SocketHelperConnection::invalidate() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Open) return;
    state_ = State::Closed;
    closedReason_ = kInvalidated;
    // The handler runs before the pending calls fail, so a caller that
    // resumes on the failure finds the connection already dropped.
    if (handlers_.invalidated) queue_.post(handlers_.invalidated);
    failPendingLocked(kInvalidated);
    ::shutdown(fd_.get(), SHUT_RDWR);
}

void SocketHelperConnection::readLoop() {
    for (;;) {
        auto frame = readFrame(fd_.get());
        bool broken = frame.status != ReadStatus::Frame;
        std::optional<wire::ReplyFrame> reply;
        if (!broken) {
            auto decoded = wire::decodeReply(frame.payload);
            if (decoded) reply = std::move(*decoded);
            else broken = true;
        }
        std::lock_guard lock(mutex_);
        if (!broken) {
            auto it = pending_.find(reply->id);
            // A reply nobody waits for, or of the wrong shape, means the peer
            // does not speak our protocol; nothing it says can be trusted.
            if (it == pending_.end() || it->second.expectsPingShape == reply->reply.hasMessageSlot) {
                broken = true;
            } else {
                queue_.post([completion = std::move(it->second.completion), r = std::move(reply->reply)] {
                    completion(r);
                });
                pending_.erase(it);
                continue;
            }
        }
        if (state_ == State::Open) {
            state_ = State::Closed;
            closedReason_ = kInterrupted;
            if (handlers_.interrupted) queue_.post(handlers_.interrupted);
            failPendingLocked(kInterrupted);
        }
        return;
    }
}

}  // namespace korvane::linux_platform
