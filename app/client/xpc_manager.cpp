#include "app/client/xpc_manager.h"

#include "app/client/once_only_call.h"
#include "app/runtime/app_log.h"
#include "app/runtime/completion.h"
#include "app/runtime/string_table.h"

namespace korvane::app {

XPCManager::XPCManager(Dependencies dependencies)
    : loop_(dependencies.mainLoop),
      connector_(dependencies.connector),
      filesystemRoot_(std::move(dependencies.filesystemRoot)),
      lifeline_(Lifeline::make(loop_)) {
    initialStatusCheck_ = checkHelperStatus();
}

XPCManager::~XPCManager() {
    lifeline_->close();
    std::shared_ptr<HelperConnection> connection;
    {
        std::lock_guard lock(slot_->connectionLock);
        connection = std::move(slot_->persistentConnection);
    }
    // Released outside the lock: closing waits for the connection's queue,
    // whose handlers take the lock.
    connection.reset();
}

XPCManager::Ticket XPCManager::acquireConnection() {
    std::lock_guard lock(slot_->connectionLock);
    if (!slot_->persistentConnection) {
        std::uint64_t generation = ++slot_->generation;
        std::weak_ptr<ConnectionSlot> slot = slot_;
        ConnectionHandlers handlers{
            .interrupted =
                [slot, generation] {
                    if (slot.expired()) return;
                    dropConnection(slot, generation);
                    logLine("XPC bağlantısı kesintiye uğradı.");
                },
            .invalidated =
                [slot, generation] {
                    if (slot.expired()) return;
                    dropConnection(slot, generation);
                    logLine("XPC bağlantısı geçersiz kılındı.");
                },
        };
        slot_->persistentConnection = connector_.connect(std::move(handlers));
    }
    return Ticket{slot_->persistentConnection, slot_->generation};
}

std::shared_ptr<HelperConnection> XPCManager::getConnection() { return acquireConnection().connection; }

void XPCManager::dropConnection(const std::weak_ptr<ConnectionSlot>& weakSlot, std::uint64_t generation) {
    auto slot = weakSlot.lock();
    if (!slot) return;
    std::shared_ptr<HelperConnection> dropped;
    {
        std::lock_guard lock(slot->connectionLock);
        // A late handler of an earlier connection must not take away the one
        // that replaced it, with its calls in flight.
        if (slot->generation == generation) dropped = std::move(slot->persistentConnection);
    }
    // `dropped` ends here, outside the lock.
}

void XPCManager::dropAndInvalidateConnection() {
    std::shared_ptr<HelperConnection> dropped;
    {
        std::lock_guard lock(slot_->connectionLock);
        dropped = std::move(slot_->persistentConnection);
    }
    if (dropped) dropped->invalidate();
}

Async<bool> XPCManager::xpcCall(msg::Call call) {
    bool success = co_await awaitCompletion<bool>([this, &call](Resolver<bool> resolve) {
        auto once = std::make_shared<OnceOnlyCall<bool>>(std::move(resolve), lifeline_);
        Ticket ticket = acquireConnection();
        ticket.connection->send(
            std::move(call), [this, once, slot = std::weak_ptr<ConnectionSlot>(slot_),
                              generation = ticket.generation](Expected<msg::Reply, ConnectionError> answer) {
                if (!answer) {
                    dropConnection(slot, generation);
                    std::string description = answer.error().description;
                    once->complete(false, [&](Lifeline& owner) {
                        owner.post([this, description] {
                            lastError = description;
                            helperActive = false;
                        });
                    });
                    return;
                }
                bool replied = answer->success;
                std::optional<std::string> message = answer->message;
                once->complete(replied, [&](Lifeline& owner) {
                    if (replied) return;
                    owner.post([this, message] { lastError = message ? *message : localized("error.unknown"); });
                });
            });
    });
    co_return success;
}

Async<CallOutcome> XPCManager::xpcCallWithError(msg::Call call) {
    CallOutcome outcome = co_await awaitCompletion<CallOutcome>([this, &call](Resolver<CallOutcome> resolve) {
        auto once = std::make_shared<OnceOnlyCall<CallOutcome>>(std::move(resolve), lifeline_);
        Ticket ticket = acquireConnection();
        ticket.connection->send(
            std::move(call), [this, once, slot = std::weak_ptr<ConnectionSlot>(slot_),
                              generation = ticket.generation](Expected<msg::Reply, ConnectionError> answer) {
                if (!answer) {
                    dropConnection(slot, generation);
                    once->complete(CallOutcome{false, answer.error().description}, [&](Lifeline& owner) {
                        owner.post([this] { helperActive = false; });
                    });
                    return;
                }
                once->complete(CallOutcome{answer->success, answer->message}, [](Lifeline&) {});
            });
    });
    co_return outcome;
}

}  // namespace korvane::app
