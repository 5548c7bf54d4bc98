// korvanectl: talks to the Korvane helper from the command line.
//   exit 0  success (ping: alive)
//   exit 1  the helper answered with a failure (ping: not alive)
//   exit 2  the helper could not be reached, the connection was lost, or no
//           answer came within the timeout
//   exit 64 bad usage
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/paths/installed_paths.h"
#include "shared/version/version.h"
#include "tools/korvanectl/command_line.h"

using namespace korvane;

int main(int argc, char** argv) {
    auto invocation = ctl::parseCommandLine(argc, argv);
    if (!invocation) {
        std::fprintf(stderr, "korvanectl: %s\n%s", invocation.error().c_str(), ctl::kUsage);
        return 64;
    }
    if (invocation->showHelp) {
        std::fputs(ctl::kUsage, stdout);
        return 0;
    }
    if (invocation->showVersion) {
        std::printf("korvanectl %s\n", kReleaseVersion.data());
        return 0;
    }
    std::string socketPath = invocation->socketPath.value_or(paths::helperSocketPath());
    bool isPing = msg::answersWithPingShape(invocation->call);

    // A helper that accepts and never answers, or a backlog so full that
    // connecting itself waits, must not hold a script forever: past the
    // deadline the tool says so and leaves, whatever it is waiting on.
    std::thread([socketPath, seconds = invocation->timeoutSeconds] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::fprintf(stderr, "korvanectl: no answer from the helper at %s within %d s\n", socketPath.c_str(),
                     seconds);
        std::fflush(stderr);
        std::_Exit(2);
    }).detach();

    std::promise<Expected<msg::Reply, ConnectionError>> answer;
    auto result = answer.get_future();
    {
        linux_platform::SocketHelperConnection connection(socketPath, {});
        connection.send(std::move(invocation->call), [&answer](Expected<msg::Reply, ConnectionError> r) {
            answer.set_value(std::move(r));
        });
        result.wait();
    }
    auto reply = result.get();
    if (!reply) {
        std::fprintf(stderr, "korvanectl: no answer from the helper at %s: %s\n", socketPath.c_str(),
                     reply.error().description.c_str());
        return 2;
    }
    if (isPing) {
        std::puts(reply->success ? "alive" : "not alive");
        return reply->success ? 0 : 1;
    }
    if (reply->success) {
        std::puts("OK");
        return 0;
    }
    std::fprintf(stderr, "%s\n", reply->message ? reply->message->c_str() : "failed");
    return 1;
}
