#include "helper/helper_service.h"

#include <sys/socket.h>
#include <unistd.h>

#include "helper/reply_text.h"
#include "shared/log/log.h"
#include "shared/protocol/messages.h"
#include "shared/protocol/wire_codec.h"

namespace korvane::helper {

using linux_platform::Fd;

// One accepted client. The socket stays open until the last pending reply has
// been written (replies of long calls come later from the main loop), so a
// reused descriptor number can never receive another client's reply.
struct HelperService::Connection {
    Fd fd;
    uid_t uid = 0;
    std::mutex writeMutex;
    std::thread thread;
    std::atomic<bool> finished{false};

    void send(const std::string& frame) {
        std::lock_guard lock(writeMutex);
        // A client that has gone simply misses its reply; the work is done anyway.
        linux_platform::writeAll(fd.get(), frame);
    }
};

HelperService::HelperService(KorvaneXPCProtocol& exported, uid_t allowedUid)
    : exported_(exported), allowedUid_(allowedUid) {}

HelperService::~HelperService() { stop(); }

Expected<Done, std::string> HelperService::listen(const std::string& socketPath) {
    auto listening = linux_platform::listenUnix(socketPath, allowedUid_);
    if (!listening) return unexpected(listening.error());
    listener_ = std::move(listening->fd);
    socketFile_ = listening->file;
    socketPath_ = socketPath;
    return Done{};
}

void HelperService::start() { acceptThread_ = std::thread([this] { acceptLoop(); }); }

void HelperService::stop() {
    if (stopping_.exchange(true)) return;
    if (listener_.valid()) ::shutdown(listener_.get(), SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::list<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(connectionsMutex_);
        connections.swap(connections_);
    }
    for (auto& c : connections) ::shutdown(c->fd.get(), SHUT_RD);
    for (auto& c : connections) {
        if (c->thread.joinable()) c->thread.join();
    }
    if (!socketPath_.empty()) linux_platform::removeSocketFile(socketPath_, socketFile_);
    listener_.reset();
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
        reapFinished();
        auto credentials = linux_platform::peerCredentials(accepted->get());
        if (!credentials) {
            log::write("KorvaneHelper: Refused a connection — " + credentials.error());
            continue;
        }
        if (credentials->uid != 0 && credentials->uid != allowedUid_) {
            log::write("KorvaneHelper: Refused connection from uid " + std::to_string(credentials->uid));
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->fd = std::move(*accepted);
        connection->uid = credentials->uid;
        std::lock_guard lock(connectionsMutex_);
        if (stopping_) return;
        connections_.push_back(connection);
        connection->thread = std::thread([this, connection] { serve(connection); });
    }
}

void HelperService::serve(const std::shared_ptr<Connection>& connection) {
    auto closeWith = [&](const std::string& why) {
        log::write("KorvaneHelper: Closed connection from uid " + std::to_string(connection->uid) + " — " + why);
    };
    for (;;) {
        auto frame = linux_platform::readFrame(connection->fd.get());
        if (frame.status == linux_platform::ReadStatus::Closed) break;
        if (frame.status == linux_platform::ReadStatus::Error) {
            if (!stopping_) closeWith(frame.error);
            break;
        }
        auto request = wire::decodeRequest(frame.payload);
        if (!request) {
            closeWith(request.error());
            break;
        }
        // Messages of one connection are served here, one after another; a
        // reply may be sent later from the main loop, exactly once.
        auto answered = std::make_shared<std::atomic<bool>>(false);
        std::uint64_t id = request->id;
        msg::dispatch(exported_, std::move(request->call), [connection, answered, id](msg::Reply reply) {
            if (answered->exchange(true)) return;
            if (reply.message) reply.message = cappedReplyText(std::move(*reply.message));
            connection->send(wire::encodeReply(id, reply));
        });
    }
    ::shutdown(connection->fd.get(), SHUT_RDWR);
    connection->finished = true;
}

}  // namespace korvane::helper
