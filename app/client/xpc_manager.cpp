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
                [this, slot, generation, owner = std::weak_ptr<Lifeline>(lifeline_)] {
                    if (slot.expired()) return;
                    dropConnection(slot, generation);
                    logLine("XPC bağlantısı kesintiye uğradı.");
                    // The helper went away (it stopped or crashed): look for its return.
                    if (auto lifeline = owner.lock()) lifeline->post([this] {
                        helperActive = false;
                        noteLost();
                    });
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

TimerId XPCManager::sendWithTimeout(const Ticket& ticket, msg::Call call, std::function<void(Answer)> deliver) {
    // The connection holds the only strong reference: a timer left behind
    // keeps no call (and no awaiting task) alive.
    auto shared = std::make_shared<std::function<void(Answer)>>(std::move(deliver));
    const TimerId timeout = loop_.scheduleOnce(
        kCallTimeout, [loop = &loop_, weak = std::weak_ptr<std::function<void(Answer)>>(shared),
                       slot = std::weak_ptr<ConnectionSlot>(slot_), generation = ticket.generation,
                       stuck = std::weak_ptr<HelperConnection>(ticket.connection)] {
            auto pending = weak.lock();
            if (!pending) return;
            // A helper that took the call and went silent holds every call on
            // this connection: the next call opens a new one. The silent one
            // is kept until the calls sent on it have met their own deadlines,
            // so each of them fails the same way.
            if (auto connection = stuck.lock()) loop->scheduleOnce(kCallTimeout, [connection] {});
            (*pending)(unexpected(ConnectionError{std::string(kNoAnswerError)}));
        });
    ticket.connection->send(std::move(call), [shared](Answer answer) { (*shared)(std::move(answer)); });
    return timeout;
}

Async<CallOutcome> XPCManager::exchange(msg::Call call, AnswerEffects effects) {
    TimerId timeout = 0;
    auto start = [this, &call, &effects, &timeout](Resolver<CallOutcome> resolve) {
        auto once = std::make_shared<OnceOnlyCall<CallOutcome>>(std::move(resolve), lifeline_);
        Ticket ticket = acquireConnection();
        auto deliver = [once, effects = std::move(effects), slot = std::weak_ptr<ConnectionSlot>(slot_),
                        generation = ticket.generation](Answer answer) {
            if (!answer) dropConnection(slot, generation);
            CallOutcome result = answer ? CallOutcome{answer->success, answer->message}
                                        : CallOutcome{false, answer.error().description};
            once->complete(result, [&](Lifeline& owner) { effects(answer, owner); });
        };
        timeout = sendWithTimeout(ticket, std::move(call), std::move(deliver));
    };
    CallOutcome outcome = co_await awaitCompletion<CallOutcome>(std::move(start));
    loop_.cancel(timeout);
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
                noteLost();
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
        if (!answer) {
            owner.post([this] {
                helperActive = false;
                noteLost();
            });
        }
    };
    CallOutcome outcome = co_await exchange(std::move(call), std::move(effects));
    co_return outcome;
}

}  // namespace korvane::app
