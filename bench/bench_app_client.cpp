// What the application's runtime costs: one awaited helper call against the
// bare socket round trip it rides on, and how often an idle application's main
// loop wakes up (the goal is never).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/client/xpc_manager.h"
#include "app/runtime/published.h"
#include "app/runtime/settings_store.h"
#include "app/runtime/sleep.h"
#include "app/runtime/task.h"
#include "platform/linux/socket/helper_service.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"

using namespace korvane;

namespace {

// A daemon that answers every message at once, so only the client's and the
// socket's costs are measured.
class InstantHelper final : public KorvaneXPCProtocol {
public:
    void throttleProcess(std::int32_t, ReplyBlock r) override { r(true, std::nullopt); }
    void unthrottleProcess(std::int32_t, ReplyBlock r) override { r(true, std::nullopt); }
    void throttleMultipleProcesses(std::vector<std::int32_t>, ReplyBlock r) override { r(true, std::nullopt); }
    void unthrottleAllProcesses(ReplyBlock r) override { r(true, std::nullopt); }
    void ping(PingReplyBlock r) override { r(true); }
    void updateJailedBundleIDs(std::vector<std::string>, ReplyBlock r) override { r(true, std::nullopt); }
    void setBeastMode(bool, std::int32_t, ReplyBlock r) override { r(true, std::nullopt); }
    void setFanControlMode(std::int64_t, bool, ReplyBlock r) override { r(true, std::nullopt); }
    void setFanTargetRPM(std::int64_t, std::int64_t, ReplyBlock r) override { r(true, std::nullopt); }
};

struct ServedHelper {
    ServedHelper() : service(helper, ::getuid()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data()) ? pattern : std::string(".");
        socketPath = folder + "/helper.sock";
        if (service.listen(socketPath)) service.start();
    }
    ~ServedHelper() {
        service.stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    InstantHelper helper;
    linux_platform::HelperService service;
    std::string folder;
    std::string socketPath;
};

void BM_RawSocketRoundTrip(benchmark::State& state) {
    ServedHelper served;
    linux_platform::SocketHelperConnection connection(served.socketPath, {});
    std::mutex mutex;
    std::condition_variable answered;
    for (auto _ : state) {
        bool done = false;
        connection.send(msg::UpdateJailedBundleIDs{}, [&](Expected<msg::Reply, ConnectionError>) {
            std::lock_guard lock(mutex);
            done = true;
            answered.notify_one();
        });
        std::unique_lock lock(mutex);
        answered.wait(lock, [&] { return done; });
    }
}
BENCHMARK(BM_RawSocketRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_AwaitedCallThroughXPCManager(benchmark::State& state) {
    log::CapturedLines quiet;  // the status check's log line
    ServedHelper served;
    linux_platform::SocketHelperConnector connector(served.socketPath);
    StdMainLoop loop;
    app::XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = served.folder});
    // One task awaits call after call on the running main loop.
    app::spawn(loop, [&]() -> app::Async<> {
        co_await xpc.pingHelper();
        const std::vector<std::string> none;
        while (state.KeepRunning()) {
            bool succeeded = co_await xpc.updateJailedBundleIDs(none);
            benchmark::DoNotOptimize(succeeded);
        }
        loop.quit();
    });
    loop.run();
}
BENCHMARK(BM_AwaitedCallThroughXPCManager)->Unit(benchmark::kMicrosecond);

// The main loop of an application holding a live helper connection, a settings
// store watching its file and a debounced observation, with no timer due:
// wake-ups during an idle window, scaled to a minute.
void BM_IdleWakeUpsPerMinute(benchmark::State& state) {
    log::CapturedLines quiet;
    ServedHelper served;
    linux_platform::SocketHelperConnector connector(served.socketPath);
    constexpr auto kIdle = std::chrono::seconds(3);
    for (auto _ : state) {
        StdMainLoop loop;
        app::SettingsStore settings(loop, served.folder + "/config");
        app::XPCManager xpc({.mainLoop = loop, .connector = connector, .filesystemRoot = served.folder});
        app::Published<int> usage{0};
        auto token = usage.publisher().debounce(loop, std::chrono::seconds(1)).subscribe([](const int&) {});
        std::uint64_t before = 0;
        std::uint64_t after = 0;
        std::thread ender;
        app::spawn(loop, [&]() -> app::Async<> {
            co_await xpc.pingHelper();
            co_await app::sleepFor(std::chrono::seconds(2));  // lets the debounce's timer pass
            before = loop.wakeUps();
            ender = std::thread([&] {
                std::this_thread::sleep_for(kIdle);
                loop.post([&] {
                    after = loop.wakeUps() - 1;  // the wake-up this post itself caused
                    loop.quit();
                });
            });
        });
        loop.run();
        ender.join();
        state.counters["wakeups_per_minute"] =
            static_cast<double>(after - before) * 60.0 / std::chrono::duration<double>(kIdle).count();
    }
}
BENCHMARK(BM_IdleWakeUpsPerMinute)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
