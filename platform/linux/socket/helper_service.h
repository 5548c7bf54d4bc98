#pragma once
// Serves the protocol on the helper's socket: accepts connections from root and
// the installing user only, reads each connection's messages one at a time on
// a thread of its own, and answers every valid message exactly once.
//
// No client can hold up another or the helper itself: replies are written
// without blocking (what a client does not read waits in a bounded queue,
// flushed by one writer thread), a message's memory grows only as its bytes
// arrive, a message left half-sent times out, and connections are capped per
// user and in total.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/socket/unix_socket.h"
#include "shared/protocol/korvane_xpc_protocol.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct ServiceLimits {
    std::size_t connectionsPerUser = 32;
    std::size_t connections = 64;
    // Replies a client has not read yet; past this it is dropped.
    std::size_t queuedReplyBytes = 1 << 20;
    // How long the rest of a begun message may take to arrive.
    std::chrono::milliseconds partialMessageTimeout{10000};
    // How a connection's thread is started; tests make it fail.
    std::function<std::thread(std::function<void()>)> startThread = {};
};

class HelperService {
public:
    // `allowedUid` is the one user besides root who may connect.
    HelperService(KorvaneXPCProtocol& exported, uid_t allowedUid, ServiceLimits limits = {});
    ~HelperService();
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    // Binds and listens; the socket file belongs to the allowed user, mode
    // 0600. Fails, changing nothing, while another helper serves the path.
    Expected<Done, std::string> listen(const std::string& socketPath);
    // Starts accepting on a thread of its own.
    void start();
    // Stops accepting and closes every connection. Waits up to `patience`
    // for operations in progress to finish; false when some were still at
    // work, whose threads are then left behind (the process must end
    // without running destructors).
    bool stop(std::chrono::milliseconds patience = std::chrono::milliseconds(1500));

    struct Connection;

private:
    void acceptLoop();
    void admit(linux_platform::Fd fd);
    void serve(const std::shared_ptr<Connection>& connection);
    void reapFinished();
    void writerLoop();
    void wantFlush(const std::shared_ptr<Connection>& connection);

    KorvaneXPCProtocol& exported_;
    uid_t allowedUid_;
    ServiceLimits limits_;
    std::string socketPath_;
    linux_platform::Fd listener_;
    linux_platform::SocketFile socketFile_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    bool refusing_ = false;  // one log line for a run of refusals

    std::mutex connectionsMutex_;
    std::list<std::shared_ptr<Connection>> connections_;

    // Connections with replies waiting for their client to read.
    std::mutex flushMutex_;
    std::vector<std::shared_ptr<Connection>> toFlush_;
    linux_platform::Fd writerWake_;  // an eventfd
    std::thread writerThread_;
};

}  // namespace korvane::linux_platform
