// One Korvane per user: the hand-over rules with scripted channels, and the
// per-user socket for real, between two instances in one test (the asking
// one on its own thread, as it would be in its own process).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "app/shell/korvane_app.h"
#include "platform/linux/session/local_socket_app_instance.h"
#include "platform/linux/socket/unix_socket.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::app {
namespace {

// Answers a toggle request from its `answersFrom`-th on (0: never).
class ScriptedInstance final : public AppInstance {
public:
    ScriptedInstance(int answersFrom, Claim claimResult) : answersFrom_(answersFrom), claimResult_(claimResult) {}
    Claim claim(std::function<void()>) override {
        ++claims;
        return claimResult_;
    }
    bool requestToggle() override { return answersFrom_ != 0 && ++requests >= answersFrom_; }
    int claims = 0;
    int requests = 0;

private:
    int answersFrom_;
    Claim claimResult_;
};

// Lets Qt serve the socket until `answer` is in.
template <class T>
bool awaitServed(std::future<T>& answer) {
    QElapsedTimer clock;
    clock.start();
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && clock.elapsed() < 8000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
}

using Claim = AppInstance::Claim;

// The bus first, then the per-user socket, as the application asks them.
TEST(InstanceHandOver, ARunningInstanceTakesTheRequestOtherwiseEveryWorkingChannelIsClaimed) {
    struct Case {
        const char* name;
        ScriptedInstance bus, socket;
        bool handedOver;
        int busClaims, socketClaims;
    };
    Case cases[] = {
        {"running, seen on the socket", {0, Claim::unavailable}, {1, Claim::primary}, true, 0, 0},
        {"the first instance", {0, Claim::primary}, {0, Claim::primary}, false, 1, 1},
        {"the first, without a bus", {0, Claim::unavailable}, {0, Claim::primary}, false, 1, 1},
        // Another instance took the name between our request and our claim.
        {"the race for the name lost", {2, Claim::anotherIsRunning}, {0, Claim::primary}, true, 1, 0},
    };
    for (Case& c : cases) {
        EXPECT_EQ(KorvaneApp::handOverToRunningInstance({&c.bus, &c.socket}, [] {}), c.handedOver) << c.name;
        EXPECT_EQ(c.bus.claims, c.busClaims) << c.name;
        EXPECT_EQ(c.socket.claims, c.socketClaims) << c.name;
    }
}

TEST(LocalSocketInstance, AStaleSocketIsReplaced) {
    testing::FixtureTree folder;
    const QString path = QString::fromStdString(folder.path("korvane-app.sock"));
    // A socket file left by an instance that crashed.
    std::ofstream(path.toStdString()) << "";
    EXPECT_FALSE(linux_platform::LocalSocketAppInstance(path).requestToggle());  // nobody listens on it

    linux_platform::LocalSocketAppInstance first(path);
    int toggles = 0;
    ASSERT_EQ(first.claim([&] { ++toggles; }), AppInstance::Claim::primary);

    // (A second start toggling the first for real: the tray's desktop tests.)
    auto answer = std::async(std::launch::async,
                             [path] { return linux_platform::LocalSocketAppInstance(path).requestToggle(); });
    ASSERT_TRUE(awaitServed(answer));
    EXPECT_TRUE(answer.get());
    EXPECT_EQ(toggles, 1);
}

// Without XDG_RUNTIME_DIR the socket lives in a folder in the temporary
// folder, where another user may have been first.
TEST(LocalSocketInstance, OnlyAFolderOfOursClosedToOthersHoldsTheSocket) {
    testing::FixtureTree folder;
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(const std::string&)> prepare;
        bool accepted;
    };
    const std::vector<Case> cases{
        {"missing", [](const std::string&) {}, true},
        {"open to all", [](const std::string& f) { fs::create_directory(f), ::chmod(f.c_str(), 0777); }, false},
        {"another user's", [](const std::string& f) { fs::create_directory(f), (void)::chown(f.c_str(), 65534, 65534); }, false},
        {"a link to ours", [&](const std::string& f) { fs::create_directory_symlink(folder.mkdir("ours"), f); }, false},
    };
    for (const auto& c : cases) {
        const std::string path = folder.path(std::string("korvane-") + c.name);
        c.prepare(path);
        auto socket = linux_platform::LocalSocketAppInstance::socketPathIn(QString::fromStdString(path), "app.sock");
        EXPECT_EQ(static_cast<bool>(socket), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all) << c.name;
        }
    }
}

TEST(LocalSocketInstance, AnotherUsersWordCountsForNothingEitherWay) {
    testing::FixtureTree folder;
    const std::string shared = folder.mkdir("shared");
    ::chmod(folder.root().c_str(), 0711);
    ::chmod(shared.c_str(), 0777);
    const std::string path = shared + "/app.sock";
    // Another user listens on the path and says "ok" to everything.
    pid_t impostor = ::fork();
    ASSERT_GE(impostor, 0);
    if (impostor == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
        int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(1);
        ::listen(listener, 4);
        for (;;) {
            int client = ::accept(listener, nullptr, nullptr);
            char line[64];
            [[maybe_unused]] auto got = ::read(client, line, sizeof line);
            [[maybe_unused]] auto said = ::send(client, "ok\n", 3, MSG_NOSIGNAL);
            ::close(client);
        }
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(linux_platform::LocalSocketAppInstance(QString::fromStdString(path)).requestToggle());
    ::kill(impostor, SIGKILL);
    ::waitpid(impostor, nullptr, 0);

    // Nor is another user's request, on a socket that lets it connect at all.
    const std::string ours = shared + "/ours.sock";
    linux_platform::LocalSocketAppInstance instance(QString::fromStdString(ours));
    int toggles = 0;
    ASSERT_EQ(instance.claim([&] { ++toggles; }), AppInstance::Claim::primary);
    ::chmod(ours.c_str(), 0777);
    auto asked = std::async(std::launch::async, [ours] {
        pid_t asker = ::fork();
        if (asker == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            auto fd = linux_platform::connectUnix(ours);
            if (!fd) ::_exit(2);
            // The instance may already have cut us off; that is a pass, not a SIGPIPE.
            [[maybe_unused]] auto said = ::send(fd->get(), "toggle\n", 7, MSG_NOSIGNAL);
            char reply[8];
            ::_exit(::read(fd->get(), reply, sizeof reply) > 0 ? 1 : 0);  // 0: cut off without an answer
        }
        int status = -1;
        ::waitpid(asker, &status, 0);
        return status;
    });
    ASSERT_TRUE(awaitServed(asked));
    const int status = asked.get();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(toggles, 0);
}

TEST(LocalSocketInstance, ARequestWithoutAnEndWithin4KiBIsCutOff) {
    testing::FixtureTree folder;
    const std::string path = folder.path("app.sock");
    linux_platform::LocalSocketAppInstance first(QString::fromStdString(path));
    int toggles = 0;
    ASSERT_EQ(first.claim([&] { ++toggles; }), AppInstance::Claim::primary);
    auto cutOff = std::async(std::launch::async, [path] {
        auto fd = linux_platform::connectUnix(path);
        if (!fd) return false;
        const timeval patience{5, 0};
        ::setsockopt(fd->get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        const std::string bytes(64 * 1024, 'x');
        [[maybe_unused]] auto sent = ::send(fd->get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        char reply[8];
        const auto got = ::read(fd->get(), reply, sizeof reply);
        return got == 0 || (got < 0 && errno == ECONNRESET);
    });
    ASSERT_TRUE(awaitServed(cutOff));
    EXPECT_TRUE(cutOff.get());
    EXPECT_EQ(toggles, 0);
}

}  // namespace
}  // namespace korvane::app
