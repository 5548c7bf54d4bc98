#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <thread>

#include "platform/linux/sway/i3_ipc.h"
#include "platform/linux/sway/sway_workspace.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::linux_platform {
namespace {


// The far end of the IPC socket, driven by the test.
class FakeSway {
public:
    explicit FakeSway(const std::string& path) {
        listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_.get(), 1);
    }
    void accept() { peer_.reset(::accept(listener_.get(), nullptr, nullptr)); }
    // The next request's type.
    std::uint32_t request() {
        char header[14];
        if (::recv(peer_.get(), header, sizeof header, MSG_WAITALL) != sizeof header) return 0;
        std::uint32_t length, type;
        std::memcpy(&length, header + 6, 4);
        std::memcpy(&type, header + 10, 4);
        std::string payload(length, '\0');
        if (length > 0) ::recv(peer_.get(), payload.data(), length, MSG_WAITALL);
        return type;
    }
    void send(std::uint32_t type, const std::string& payload) {
        std::string bytes = i3ipc::encode(type, payload);
        ::send(peer_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

private:
    OwnedFd listener_, peer_;
};

std::string treeWith(const std::vector<pid_t>& pids) {
    std::string views;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        views += std::string(i ? "," : "") + R"({"id":)" + std::to_string(10 + i) + R"(,"type":"con","pid":)" +
                 std::to_string(pids[i]) + R"(,"shell":"xdg_shell","app_id":"org.example.App)" + std::to_string(i) +
                 R"(","focused":)" + (i == 0 ? "true" : "false") + "}";
    }
    return R"({"id":1,"type":"root","nodes":[{"id":4,"type":"workspace","focus":[10],"nodes":[)" + views + "]}]}";
}

TEST(SwayIpc, MalformedAndOversizedMessagesAreLoggedAndSkipped) {
    log::CapturedLines logLines;
    testing::FixtureTree tree;
    testing::FakeUnits units;
    testing::StartedProgram first{{"/bin/sleep", "60"}}, second{{"/bin/sleep", "60"}};
    FakeSway sway(tree.path("sway.sock"));
    VirtualMainLoop loop;

    SwayWorkspaceConfig config;
    config.socketPath = tree.path("sway.sock");
    config.tracker.identity.systemDataFolders = {tree.path("share")};
    config.tracker.ownPid = 1;
    config.limits.messageBytes = 4096;
    std::thread answering([&] {
        sway.accept();
        EXPECT_EQ(sway.request(), i3ipc::kSubscribe);
        sway.send(i3ipc::kSubscribe, R"({"success":true})");
        EXPECT_EQ(sway.request(), i3ipc::kGetTree);
        sway.send(i3ipc::kGetTree, treeWith({first.pid()}));
    });
    auto opened = SwayWorkspace::open(loop, config, units);
    answering.join();
    ASSERT_TRUE(opened) << opened.error();
    auto& workspace = *opened.value();
    ASSERT_EQ(workspace.runningApplications().size(), 1u);

    sway.send(i3ipc::kWindowEvent, "{not json");
    sway.send(i3ipc::kWindowEvent, std::string(5000, ' '));  // over the limit
    sway.send(i3ipc::kWindowEvent, R"({"change":"title"})");  // asks for nothing
    sway.send(i3ipc::kWindowEvent, R"({"change":"new"})");
    EXPECT_EQ(sway.request(), i3ipc::kGetTree);
    sway.send(i3ipc::kGetTree, R"({"id":1,"nodes":[)");
    sway.send(i3ipc::kWorkspaceEvent, R"({"change":"focus"})");
    EXPECT_EQ(sway.request(), i3ipc::kGetTree);
    sway.send(i3ipc::kGetTree, treeWith({first.pid(), second.pid()}));

    EXPECT_TRUE(loop.runUntil([&] { return workspace.runningApplications().size() == 2; }));
    EXPECT_EQ(logLines.countStartingWith("Korvane: sway: an event was skipped"), 1);
    EXPECT_EQ(logLines.countStartingWith("Korvane: sway: a message over 4096 bytes was skipped"), 1);
    EXPECT_EQ(logLines.countStartingWith("Korvane: sway: a layout tree was skipped"), 1);
}

}  // namespace
}  // namespace korvane::linux_platform
