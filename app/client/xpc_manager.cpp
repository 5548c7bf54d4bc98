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
      install_(std::move(dependencies.install)),
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

Async<CallOutcome> XPCManager::exchange(msg::Call call, AnswerEffects effects) {
    auto start = [this, &call, &effects](Resolver<CallOutcome> resolve) {
        auto once = std::make_shared<OnceOnlyCall<CallOutcome>>(std::move(resolve), lifeline_);
        Ticket ticket = acquireConnection();
        ticket.connection->send(
            std::move(call), [this, once, effects = std::move(effects), slot = std::weak_ptr<ConnectionSlot>(slot_),
                              generation = ticket.generation](Expected<msg::Reply, ConnectionError> answer) {
                if (!answer) dropConnection(slot, generation);
                CallOutcome result = answer ? CallOutcome{answer->success, answer->message}
                                            : CallOutcome{false, answer.error().description};
                once->complete(result, [&](Lifeline& owner) { effects(answer, owner); });
            });
    };
    CallOutcome outcome = co_await awaitCompletion<CallOutcome>(std::move(start));
    co_return outcome;
}

Async<bool> XPCManager::xpcCall(msg::Call call) {
    // Named before the await: g++ 12 destroys a temporary inside a co_await
    // expression twice.
    AnswerEffects effects = [this](const Answer& answer, Lifeline& owner) {
        if (!answer) {
            owner.post([this, description = answer.error().description] {
                lastError = description;
                helperActive = false;
            });
        } else if (!answer->success) {
            owner.post([this, message = answer->message] {
                lastError = message ? *message : localized("error.unknown");
            });
        }
    };
    CallOutcome outcome = co_await exchange(std::move(call), std::move(effects));
    co_return outcome.success;
}

Async<CallOutcome> XPCManager::xpcCallWithError(msg::Call call) {
    AnswerEffects effects = [this](const Answer& answer, Lifeline& owner) {
        if (!answer) owner.post([this] { helperActive = false; });
    };
    CallOutcome outcome = co_await exchange(std::move(call), std::move(effects));
    co_return outcome;
}

}  // namespace korvane::app
