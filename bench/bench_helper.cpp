// The helper's own costs: one ping round trip over the real socket, and one
// throttleMultipleProcesses call of 200 pids with a policy that does no work,
// which leaves exactly the helper's bookkeeping, codec and socket.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <thread>

#include "platform/linux/socket/helper_service.h"
#include "helper/helper_tool.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"

namespace korvane {
namespace {

class InstantPolicy final : public TaskPolicy {
public:
    TaskPolicyResult apply(std::int32_t) override { return TaskPolicyChange{}; }
    TaskPolicyResult release(std::int32_t) override { return TaskPolicyChange{}; }
};

// A helper served in-process on a socket in a private folder.
class ServedHelper {
public:
    ServedHelper() {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        socket_ = folder_ + "/helper.sock";
        (void)service_.listen(socket_);
        service_.start();
        loopThread_ = std::thread([this] { loop_.run(); });
        connection_ = std::make_unique<linux_platform::SocketHelperConnection>(socket_, ConnectionHandlers{});
    }
    ~ServedHelper() {
        connection_.reset();
        service_.stop();
        loop_.quit();
        loopThread_.join();
        std::filesystem::remove_all(folder_);
        log::setSink({});
    }
    bool call(msg::Call c) {
        std::promise<bool> done;
        connection_->send(std::move(c), [&](Expected<msg::Reply, ConnectionError> r) { done.set_value(r && r->success); });
        return done.get_future().get();
    }

private:
    struct QuietLog {
        QuietLog() { log::setSink([](std::string_view) {}); }
    } quiet_;  // first, so the helper's start-up line is not printed either
    std::string folder_, socket_;
    StdMainLoop loop_;
    InstantPolicy policy_;
    helper::HelperTool tool_{{.mainLoop = loop_,
                              .taskPolicy = policy_,
                              .startTimeOf = [](std::int32_t) { return std::optional<std::uint64_t>(1); }}};
    linux_platform::HelperService service_{tool_, ::getuid()};
    std::thread loopThread_;
    std::unique_ptr<linux_platform::SocketHelperConnection> connection_;
};

void BM_PingRoundTrip(benchmark::State& state) {
    ServedHelper helper;
    for (auto _ : state) {
        if (!helper.call(msg::Ping{})) state.SkipWithError("ping failed");
    }
}
BENCHMARK(BM_PingRoundTrip)->UseRealTime();

void BM_ThrottleMultiple200(benchmark::State& state) {
    ServedHelper helper;
    std::vector<std::int32_t> pids;
    for (int i = 0; i < 200; ++i) pids.push_back(1000 + i);
    for (auto _ : state) {
        if (!helper.call(msg::ThrottleMultipleProcesses{pids})) state.SkipWithError("throttle failed");
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_ThrottleMultiple200)->UseRealTime();

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
