#include "platform/linux/socket/helper_service.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "shared/protocol/reply_limit.h"
#include "shared/log/log.h"
#include "shared/protocol/messages.h"
#include "shared/protocol/wire_codec.h"

namespace korvane::linux_platform {

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;

void wake(int eventFd) {
    std::uint64_t one = 1;
    (void)!::write(eventFd, &one, sizeof one);
}

// A peer that has gone: writing to it is pointless, not an error to report.
bool peerGone(int error) { return error == EPIPE || error == ECONNRESET; }

}  // namespace

// One accepted client. The socket stays open until the last pending reply has
// been written or given up (replies of long calls come later from the main
// loop), so a reused descriptor number can never receive another client's
// reply.
struct HelperService::Connection {
    Fd fd;
    uid_t uid = 0;
    std::thread thread;
    std::atomic<bool> finished{false};

    std::mutex writeMutex;
    std::string outgoing;  // written bytes the socket did not take yet
    bool dropped = false;  // gone, or over its queue: nothing more is written

    // Writes what the socket takes now; false when the connection is done for.
    bool flushLocked() {
        while (!outgoing.empty()) {
            ssize_t n = ::send(fd.get(), outgoing.data(), outgoing.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
                dropped = true;
                outgoing.clear();
                return false;
            }
            outgoing.erase(0, static_cast<std::size_t>(n));
        }
        // A large reply leaves a large buffer behind; give it back.
        if (outgoing.capacity() > kReadChunk) outgoing.shrink_to_fit();
        return true;
    }

    enum class Queued { written, waiting, newlyWaiting, dropped };
    // Adds a reply to what goes out and writes what the socket takes now.
    // A client that lets more than `limit` bytes pile up is dropped.
    Queued queueLocked(const std::string& frame, std::size_t limit) {
        if (dropped) return Queued::dropped;
        bool wasWaiting = !outgoing.empty();
        outgoing += frame;
        if (!wasWaiting && !flushLocked()) return Queued::dropped;
        if (outgoing.empty()) return Queued::written;
        if (outgoing.size() > limit) {
            log::write("KorvaneHelper: Dropped connection from uid " + std::to_string(uid) +
                       " — it does not read its replies (" + std::to_string(outgoing.size()) + " bytes waiting)");
            dropped = true;
            outgoing.clear();
            outgoing.shrink_to_fit();
            // Its thread, waiting for the next message, sees the end at once.
            ::shutdown(fd.get(), SHUT_RDWR);
            return Queued::dropped;
        }
        return wasWaiting ? Queued::waiting : Queued::newlyWaiting;
    }
};

HelperService::HelperService(KorvaneXPCProtocol& exported, uid_t allowedUid, ServiceLimits limits)
    : exported_(exported), allowedUid_(allowedUid), limits_(std::move(limits)) {
    if (!limits_.startThread) {
        limits_.startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
    }
}

HelperService::~HelperService() { stop(); }

Expected<Done, std::string> HelperService::listen(const std::string& socketPath) {
    auto listening = linux_platform::listenUnix(socketPath, allowedUid_);
    if (!listening) return unexpected(listening.error());
    listener_ = std::move(listening->fd);
    socketFile_ = listening->file;
    socketPath_ = socketPath;
    return Done{};
}

void HelperService::start() {
    writerWake_ = Fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    writerThread_ = std::thread([this] { writerLoop(); });
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

bool HelperService::stop(std::chrono::milliseconds patience) {
    if (stopping_.exchange(true)) return true;
    if (listener_.valid()) ::shutdown(listener_.get(), SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    if (writerWake_.valid()) wake(writerWake_.get());
    if (writerThread_.joinable()) writerThread_.join();
    std::list<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(connectionsMutex_);
        connections.swap(connections_);
    }
    for (auto& c : connections) ::shutdown(c->fd.get(), SHUT_RDWR);
    // A connection's thread ends at once unless it is inside an operation
    // (a long multi-process call, say); those get a moment to finish.
    bool allEnded = true;
    auto deadline = Clock::now() + patience;
    for (auto& c : connections) {
        while (!c->finished && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (c->finished) {
            if (c->thread.joinable()) c->thread.join();
        } else {
            allEnded = false;
            c->thread.detach();
        }
    }
    {
        std::lock_guard lock(flushMutex_);
        toFlush_.clear();
    }
    if (!socketPath_.empty()) linux_platform::removeSocketFile(socketPath_, socketFile_);
    listener_.reset();
    return allEnded;
}

void HelperService::reapFinished() {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void HelperService::acceptLoop() {
    bool failing = false;  // one log line for a run of failures, not one per retry
    while (!stopping_) {
        auto accepted = linux_platform::acceptUnix(listener_.get());
        // Finished connections give their descriptors back here whether or
        // not the accept worked: out of descriptors, they are what frees some.
        reapFinished();
        if (!accepted) {
            if (stopping_) return;
            if (!failing) log::write("KorvaneHelper: Accepting connections failed — " + accepted.error().text);
            failing = true;
            if (!accepted.error().transient) return;
            // Out of descriptors or memory for a moment: the service must
            // outlive it, so wait a little and go on accepting.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        failing = false;
        admit(std::move(*accepted));
    }
}

void HelperService::admit(Fd fd) {
    auto credentials = linux_platform::peerCredentials(fd.get());
    if (!credentials) {
        log::write("KorvaneHelper: Refused a connection — " + credentials.error());
        return;
    }
    if (credentials->uid != 0 && credentials->uid != allowedUid_) {
        log::write("KorvaneHelper: Refused connection from uid " + std::to_string(credentials->uid));
        return;
    }
    std::lock_guard lock(connectionsMutex_);
    if (stopping_) return;
    std::size_t fromUser = 0;
    for (const auto& c : connections_) fromUser += c->uid == credentials->uid ? 1 : 0;
    if (connections_.size() >= limits_.connections || fromUser >= limits_.connectionsPerUser) {
        if (!refusing_) {
            log::write("KorvaneHelper: Refused connections from uid " + std::to_string(credentials->uid) + " — " +
                       std::to_string(fromUser) + " of its own and " + std::to_string(connections_.size()) +
                       " in all are open (at most " + std::to_string(limits_.connectionsPerUser) + " and " +
                       std::to_string(limits_.connections) + ")");
        }
        refusing_ = true;
        return;
    }
    refusing_ = false;
    auto connection = std::make_shared<Connection>();
    connection->fd = std::move(fd);
    connection->uid = credentials->uid;
    try {
        connection->thread = limits_.startThread([this, connection] { serve(connection); });
    } catch (const std::system_error& error) {
        log::write("KorvaneHelper: Refused a connection from uid " + std::to_string(connection->uid) +
                   " — no thread to serve it: " + error.what());
        return;
    }
    connections_.push_back(connection);
}

void HelperService::serve(const std::shared_ptr<Connection>& connection) {
    auto closeWith = [&](const std::string& why) {
        log::write("KorvaneHelper: Closed connection from uid " + std::to_string(connection->uid) + " — " + why);
    };
    const int fd = connection->fd.get();
    // Bytes received and not yet taken as messages. A message's room grows
    // with what has arrived, never with what its length prefix announces.
    std::string received;
    Clock::time_point begunAt;
    for (;;) {
        int timeout = -1;
        if (!received.empty()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                begunAt + limits_.partialMessageTimeout - Clock::now());
            if (left.count() <= 0) {
                closeWith("a message was left unfinished for " +
                          std::to_string(limits_.partialMessageTimeout.count() / 1000) + " s");
                break;
            }
            timeout = static_cast<int>(left.count());
        }
        pollfd readable{fd, POLLIN, 0};
        int ready = ::poll(&readable, 1, timeout);
        if (ready < 0 && errno != EINTR) {
            closeWith(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (ready <= 0) continue;
        char chunk[kReadChunk];
        ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got <= 0) {
            // A client that hung up, even one that left its last reply
            // unread (ECONNRESET), simply leaves; only a message it broke off
            // is worth a line.
            bool clean = got == 0 || peerGone(errno);
            if (stopping_) break;
            if (!clean) closeWith(std::string("recv: ") + std::strerror(errno));
            else if (!received.empty()) closeWith("connection broke inside a message");
            break;
        }
        if (received.empty()) begunAt = Clock::now();
        received.append(chunk, static_cast<std::size_t>(got));

        bool bad = false;
        std::size_t taken = 0;
        while (received.size() - taken >= wire::kLengthPrefixBytes) {
            auto length = wire::decodeLength(reinterpret_cast<const unsigned char*>(received.data() + taken));
            if (!length) {
                closeWith(length.error());
                bad = true;
                break;
            }
            if (received.size() - taken - wire::kLengthPrefixBytes < *length) break;
            auto request = wire::decodeRequest(
                std::string_view(received).substr(taken + wire::kLengthPrefixBytes, *length));
            taken += wire::kLengthPrefixBytes + *length;
            if (!request) {
                closeWith(request.error());
                bad = true;
                break;
            }
            // Messages of one connection are served here, one after another;
            // a reply may be sent later from the main loop, exactly once.
            auto answered = std::make_shared<std::atomic<bool>>(false);
            std::uint64_t id = request->id;
            msg::dispatch(exported_, std::move(request->call), [this, connection, answered, id](msg::Reply reply) {
                if (answered->exchange(true)) return;
                if (reply.message) reply.message = cappedReplyText(std::move(*reply.message));
                std::string frame = wire::encodeReply(id, reply);
                std::lock_guard lock(connection->writeMutex);
                // The writer thread takes over what the socket would not.
                if (connection->queueLocked(frame, limits_.queuedReplyBytes) == Connection::Queued::newlyWaiting) {
                    wantFlush(connection);
                }
            });
        }
        if (bad) break;
        received.erase(0, taken);
        if (received.capacity() > 2 * kReadChunk && received.size() < kReadChunk) received.shrink_to_fit();
        if (!received.empty() && taken > 0) begunAt = Clock::now();
        std::lock_guard lock(connection->writeMutex);
        if (connection->dropped) break;
    }
    ::shutdown(fd, SHUT_RDWR);
    connection->finished = true;
}

void HelperService::wantFlush(const std::shared_ptr<Connection>& connection) {
    {
        std::lock_guard lock(flushMutex_);
        toFlush_.push_back(connection);
    }
    wake(writerWake_.get());
}

void HelperService::writerLoop() {
    std::vector<std::shared_ptr<Connection>> waiting;
    while (!stopping_) {
        {
            std::lock_guard lock(flushMutex_);
            for (auto& c : toFlush_) waiting.push_back(std::move(c));
            toFlush_.clear();
        }
        std::vector<pollfd> fds{{writerWake_.get(), POLLIN, 0}};
        for (const auto& c : waiting) fds.push_back({c->fd.get(), POLLOUT, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (fds[0].revents != 0) {
            std::uint64_t count;
            (void)!::read(writerWake_.get(), &count, sizeof count);
        }
        std::vector<std::shared_ptr<Connection>> still;
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            auto& c = waiting[i];
            std::lock_guard lock(c->writeMutex);
            if (fds[i + 1].revents != 0 && !c->dropped) c->flushLocked();
            if (!c->dropped && !c->outgoing.empty()) still.push_back(std::move(c));
        }
        waiting.swap(still);
    }
}

}  // namespace korvane::linux_platform
