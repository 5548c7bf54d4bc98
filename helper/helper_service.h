#pragma once
// Serves the protocol on the helper's socket: accepts connections from root and
// the installing user only, reads each connection's messages one at a time on
// a thread of its own, and answers every valid message exactly once.
#include <sys/types.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/linux/socket/unix_socket.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/util/expected.h"

namespace korvane::helper {

class HelperService {
public:
    // `allowedUid` is the one user besides root who may connect.
    HelperService(KorvaneXPCProtocol& exported, uid_t allowedUid);
    ~HelperService();
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    // Binds and listens; the socket file belongs to the allowed user, mode
    // 0600. Fails, changing nothing, while another helper serves the path.
    Expected<Done, std::string> listen(const std::string& socketPath);
    // Starts accepting on a thread of its own.
    void start();
    // Stops accepting, closes every connection and waits for their threads;
    // an operation in progress finishes first.
    void stop();

private:
    struct Connection;
    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    void reapFinished();

    KorvaneXPCProtocol& exported_;
    uid_t allowedUid_;
    std::string socketPath_;
    linux_platform::Fd listener_;
    linux_platform::SocketFile socketFile_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};

    std::mutex connectionsMutex_;
    std::list<std::shared_ptr<Connection>> connections_;
};

}  // namespace korvane::helper
