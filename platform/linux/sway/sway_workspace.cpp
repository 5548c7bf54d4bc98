#include "platform/linux/sway/sway_workspace.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>

#include "app/runtime/app_log.h"
#include "platform/linux/socket/unix_socket.h"
#include "platform/linux/sway/i3_ipc.h"
#include "platform/linux/sway/sway_tree.h"

namespace korvane::linux_platform {

using namespace std::chrono_literals;

class SwayWorkspace::Connection {
public:
    Connection(SwayWorkspace& owner, OwnedFd socket, SwayWorkspaceConfig config, identity::UnitLookup& units)
        : owner_(owner),
          socket_(std::move(socket)),
          limits_(config.limits),
          decoder_(config.limits.messageBytes),
          tracker_(std::move(config.tracker), units),
          wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    // On the opening thread: subscribes and waits (up to 2 s) for the first
    // tree.
    Expected<Done, std::string> start() {
        if (!send(i3ipc::kSubscribe, R"(["window","workspace","shutdown"])") || !requestTree()) {
            return unexpected(std::string("sway's IPC socket closed at once"));
        }
        for (auto deadline = std::chrono::steady_clock::now() + 2s; !haveTree_;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting{socket_.get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
                return unexpected(std::string("sway did not send its layout tree within 2 s"));
            }
            if (!readAvailable(/*initial=*/true)) return unexpected(std::string("sway closed its IPC socket"));
        }
        return Done{};
    }

    void run() {
        while (!stopping_) {
            pollfd watched[] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
            if (::poll(watched, 2, -1) < 0) {
                if (errno == EINTR) continue;
                app::logLine("sway: waiting for the IPC socket failed (errno " + std::to_string(errno) + ")");
                return;
            }
            if (stopping_) return;
            if (watched[0].revents != 0 && !readAvailable(/*initial=*/false)) {
                lost("sway closed its IPC connection");
                return;
            }
        }
    }

    void stop() {
        stopping_ = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wake_.get(), &one, sizeof one);
    }

private:
    bool send(std::uint32_t type, std::string_view payload) {
        return writeAll(socket_.get(), i3ipc::encode(type, payload));
    }

    bool requestTree() {
        if (treeInFlight_) {
            treeWanted_ = true;
            return true;
        }
        treeInFlight_ = true;
        treeWanted_ = false;
        return send(i3ipc::kGetTree, "");
    }

    // False once the socket is closed or no longer speaks the protocol.
    bool readAvailable(bool initial) {
        char buffer[16384];
        ssize_t got = ::recv(socket_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) return false;
        if (got < 0) return errno == EAGAIN || errno == EINTR;
        decoder_.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        for (i3ipc::Message message;;) {
            switch (decoder_.next(message)) {
                case i3ipc::Decoder::Next::needMore: return true;
                case i3ipc::Decoder::Next::broken:
                    app::logLine("sway: the IPC socket sent bytes that are not the i3 protocol");
                    return false;
                case i3ipc::Decoder::Next::skipped:
                    app::logLine("sway: a message over " + std::to_string(limits_.messageBytes) +
                                 " bytes was skipped");
                    if (message.type == i3ipc::kGetTree) treeArrived(initial, std::nullopt);
                    break;
                case i3ipc::Decoder::Next::message:
                    if (!handle(message, initial)) return false;
                    break;
            }
        }
    }

    bool handle(const i3ipc::Message& message, bool initial) {
        switch (message.type) {
            case i3ipc::kGetTree: {
                auto report = parseSwayTree(message.payload, limits_);
                if (!report) app::logLine("sway: a layout tree was skipped: " + report.error());
                treeArrived(initial, report ? std::optional(std::move(report).value()) : std::nullopt);
                return true;
            }
            case i3ipc::kWindowEvent:
            case i3ipc::kWorkspaceEvent: {
                auto matters = eventMatters(message.payload);
                if (!matters) {
                    app::logLine("sway: an event was skipped: " + matters.error());
                    return true;
                }
                return !matters.value() || requestTree();
            }
            case i3ipc::kShutdownEvent: return false;
            default: return true;  // the subscription's answer
        }
    }

    void treeArrived(bool initial, std::optional<WindowReport> report) {
        treeInFlight_ = false;
        haveTree_ = true;
        if (report) {
            WorkspaceUpdate update = tracker_.apply(*report);
            if (initial) owner_.publishInitial(std::move(update));
            else owner_.publish(std::move(update));
        }
        if (treeWanted_) requestTree();
    }

    void lost(const std::string& why) {
        owner_.publish(tracker_.lose());
        owner_.setBlindSpot(why + ": the front-most application is no longer followed");
    }

    SwayWorkspace& owner_;
    OwnedFd socket_;
    ReportLimits limits_;
    i3ipc::Decoder decoder_;
    WindowTracker tracker_;
    OwnedFd wake_;
    std::atomic<bool> stopping_{false};
    bool treeInFlight_ = false, treeWanted_ = false, haveTree_ = false;
};

SwayWorkspace::SwayWorkspace(MainLoop& loop) : PublishedWorkspace(loop) {}

Expected<std::unique_ptr<SwayWorkspace>, std::string> SwayWorkspace::open(MainLoop& loop, SwayWorkspaceConfig config,
                                                                         identity::UnitLookup& units) {
    if (config.socketPath.empty()) return unexpected(std::string("no sway IPC socket ($SWAYSOCK is not set)"));
    auto socket = connectUnix(config.socketPath);
    if (!socket) return unexpected("sway's IPC socket " + config.socketPath + " does not answer: " + socket.error());
    std::unique_ptr<SwayWorkspace> workspace(new SwayWorkspace(loop));
    workspace->connection_ =
        std::make_unique<Connection>(*workspace, std::move(socket).value(), std::move(config), units);
    if (auto started = workspace->connection_->start(); !started) return unexpected(started.error());
    workspace->thread_ = std::thread([connection = workspace->connection_.get()] { connection->run(); });
    return workspace;
}

SwayWorkspace::~SwayWorkspace() {
    if (thread_.joinable()) {
        connection_->stop();
        thread_.join();
    }
}

}  // namespace korvane::linux_platform
