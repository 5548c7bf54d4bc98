#pragma once
// The helper connection over the helper's Unix socket. A reader thread takes
// replies off the socket and matches them to pending calls by request id;
// completions and handlers run on the connection's own serial queue.
//
// Handlers: `interrupted` when the helper closes the connection or goes away;
// `invalidated` when invalidate() is called, and when the socket could not be
// reached at all (the connection can never carry a message).
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/socket/unix_socket.h"
#include "shared/client/helper_connection.h"
#include "shared/util/serial_queue.h"

namespace korvane::linux_platform {

class SocketHelperConnection final : public HelperConnection {
public:
    SocketHelperConnection(const std::string& socketPath, ConnectionHandlers handlers);
    ~SocketHelperConnection() override;

    void send(msg::Call call, CallCompletion completion) override;
    void invalidate() override;

private:
    enum class State { Open, Unreachable, Closed };
    struct Pending {
        CallCompletion completion;
        bool expectsPingShape;
    };

    void readLoop();
    // Fails every pending call with `description`; called with mutex_ held.
    void failPendingLocked(const std::string& description);

    SerialQueue queue_;  // declared first: it outlives the reader and the socket
    ConnectionHandlers handlers_;
    std::mutex mutex_;
    std::mutex writeMutex_;
    State state_ = State::Open;
    std::string closedReason_;  // what calls get once the connection is not open
    std::map<std::uint64_t, Pending> pending_;
    std::uint64_t nextId_ = 1;
    Fd fd_;
    std::thread reader_;
};

class SocketHelperConnector final : public HelperConnector {
public:
    explicit SocketHelperConnector(std::string socketPath) : socketPath_(std::move(socketPath)) {}
    std::shared_ptr<HelperConnection> connect(ConnectionHandlers handlers) override {
        return std::make_shared<SocketHelperConnection>(socketPath_, std::move(handlers));
    }

private:
    std::string socketPath_;
};

}  // namespace korvane::linux_platform
