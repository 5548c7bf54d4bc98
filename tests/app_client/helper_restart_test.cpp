// The real daemon binary killed under the client and started again.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "app/client/xpc_manager.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "platform/linux/socket/unix_socket.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/app_client/fake_helper.h"

namespace korvane::app {
namespace {

using testing::awaitOn;

// Runs com.korvane.helper on a private socket, serving this user.
class HelperProcess {
public:
    explicit HelperProcess(const std::string& socketPath) {
        std::string socketVariable = "KORVANE_HELPER_SOCKET=" + socketPath;
        std::string allow = "--allow-uid=" + std::to_string(::getuid());
        char* argv[] = {const_cast<char*>(KORVANE_HELPER_BINARY), allow.data(), nullptr};
        char* envp[] = {socketVariable.data(), nullptr};
        if (::posix_spawn(&pid_, KORVANE_HELPER_BINARY, nullptr, nullptr, argv, envp) != 0) pid_ = -1;
        for (int i = 0; pid_ > 0 && i < 500; ++i) {  // ready once its socket accepts
            if (linux_platform::connectUnix(socketPath)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill();
    }
    ~HelperProcess() { kill(); }
    bool running() const { return pid_ > 0; }
    void kill() {
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

TEST(HelperRestart, AfterTheDaemonIsKilledTheNextCallFailsAndTheOneAfterReconnects) {
    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::TemporaryFolder folder;
    std::string socketPath = folder.path() + "/helper.sock";
    linux_platform::SocketHelperConnector socketConnector(socketPath);
    testing::CountingConnector connector(socketConnector);

    auto daemon = std::make_unique<HelperProcess>(socketPath);
    ASSERT_TRUE(daemon->running());
    XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = folder.path()});
    ASSERT_TRUE(loop.runUntil([&] { return xpc.initialStatusCheck().done(); }));
    ASSERT_TRUE(xpc.helperActive.get());
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({"org.example.App"}); }));
    EXPECT_EQ(connector.made(), 1);

    daemon->kill();
    EXPECT_FALSE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({"org.example.App"}); }));
    EXPECT_FALSE(xpc.helperActive.get());
    ASSERT_TRUE(xpc.lastError.get().has_value());
    EXPECT_TRUE(logLines.contains("Korvane: XPC bağlantısı kesintiye uğradı.") ||
                logLines.contains("Korvane: XPC bağlantısı geçersiz kılındı."));

    daemon = std::make_unique<HelperProcess>(socketPath);
    ASSERT_TRUE(daemon->running());
    int before = connector.made();
    EXPECT_TRUE(awaitOn<bool>(loop, [&] { return xpc.updateJailedBundleIDs({}); }));
    EXPECT_EQ(connector.made(), before + 1);
}

}  // namespace
}  // namespace korvane::app
