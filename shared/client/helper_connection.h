#pragma once
// A client's connection to the helper. Every message sent ends in exactly one
// call of its completion: the helper's reply, or the error that kept it from
// coming. Completions and the handlers run on the connection's own queue,
// never on the caller's thread; when the connection ends, its handler runs
// before the calls it leaves pending complete.
#include <functional>
#include <memory>
#include <string>

#include "shared/protocol/messages.h"
#include "shared/util/expected.h"

namespace korvane {

struct ConnectionError {
    std::string description;  // readable, for lastError and the log
};

using CallCompletion = std::function<void(Expected<msg::Reply, ConnectionError>)>;

struct ConnectionHandlers {
    std::function<void()> interrupted;  // the helper closed the connection or went away
    std::function<void()> invalidated;  // we invalidated it ourselves
};

class HelperConnection {
public:
    virtual ~HelperConnection() = default;
    virtual void send(msg::Call call, CallCompletion completion) = 0;
    // Ends the connection; pending calls complete with an error. Idempotent.
    virtual void invalidate() = 0;
};

// Opens connections; XPCManager asks it for a new one whenever it has none.
class HelperConnector {
public:
    virtual ~HelperConnector() = default;
    virtual std::shared_ptr<HelperConnection> connect(ConnectionHandlers handlers) = 0;
};

}  // namespace korvane
