// What the focus engine costs on the application's side. Refreshing the list
// of running applications: a snapshot of 50 applications from the desktop,
// the filter and the locale-aware sort, and the core lists recomputed (icons
// either as theme names or as 64x64 window pixels). And Auto-Focus from a
// front-most change to the helper's reply, over a real socket to an
// in-process helper that answers at once: the engine's share of that path,
// without the desktop's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/runtime/completion.h"
#include "app/runtime/settings_store.h"
#include "platform/linux/socket/helper_service.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"
#include "testing/virtual_main_loop.h"
#include "tests/app_client/fake_helper.h"
#include "tests/fakes/fake_workspace.h"

using namespace korvane;

namespace {

constexpr const char* kWords[] = {"Files", "écran", "Terminal", "browser", "Mail", "Ölçüm", "music", "Editor",
                                  "Chat", "Calendar"};

void fill(testing::FakeWorkspace& workspace, int count, bool pixelIcons) {
    for (int i = 0; i < count; ++i) {
        auto app = testing::FakeWorkspace::regular(1000 + i, std::string(kWords[i % 10]) + " " + std::to_string(i / 10),
                                                   "org.example.App" + std::to_string(i));
        app::AppIcon icon;
        if (pixelIcons) {
            icon.width = icon.height = 64;
            icon.argb.assign(64 * 64, 0xFF336699u);
        } else {
            icon.themeNameOrPath = "org.example.App" + std::to_string(i);
        }
        app.icon = std::move(icon);
        if (i % 7 == 3) app.activationPolicy = app::ActivationPolicy::accessory;
        workspace.add(std::move(app));
    }
}

void BM_RefreshRunningApps(benchmark::State& state) {
    VirtualMainLoop loop;
    testing::FakeWorkspace workspace(loop);
    fill(workspace, static_cast<int>(state.range(0)), state.range(1) != 0);
    log::setSink([](std::string_view) {});
    app::AppManager manager({.mainLoop = loop, .workspace = workspace, .ownBundleID = {}, .collationLocale = "en_US"});
    for (auto _ : state) {
        manager.refreshRunningApps();
        benchmark::DoNotOptimize(manager.runningApps.get().data());
    }
    log::setSink({});
    state.counters["listed"] = static_cast<double>(manager.runningApps.get().size());
}
BENCHMARK(BM_RefreshRunningApps)->ArgNames({"apps", "pixelIcons"})->Args({50, 0})->Args({50, 1})
    ->Unit(benchmark::kMicrosecond);

// Waits for the next assignment of `value` that equals `wanted`.
app::Async<bool> nextValue(const app::Published<bool>& value, bool wanted, app::Subscription& token) {
    co_return co_await app::awaitCompletion<bool>([&](app::Resolver<bool> done) {
        token = value.observe([done, wanted](const bool& v) {
            if (v == wanted) done(v);
        });
    });
}

// Each iteration is two front-most changes: a target comes to the front
// (engage: one throttle call for the 19 others) and a non-target after it
// (release: one unthrottle per pid).
void BM_AutoFocusFrontChangeToReply(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data()) ? pattern : std::string(".");
    log::setSink([](std::string_view) {});
    {
        testing::ServedFakeHelper served(folder + "/helper.sock");
        linux_platform::SocketHelperConnector connector(folder + "/helper.sock");
        StdMainLoop loop;
        auto xpc = std::make_shared<app::XPCManager>(
            app::XPCManager::Dependencies{.mainLoop = loop, .connector = connector, .filesystemRoot = folder});
        app::SettingsStore settings(loop, folder + "/config");
        testing::FakeWorkspace workspace(loop);
        fill(workspace, 20, false);
        auto apps = std::make_shared<app::AppManager>(app::AppManager::Dependencies{
            .mainLoop = loop, .workspace = workspace, .ownBundleID = {}, .collationLocale = "en_US"});
        auto autoFocus = std::make_shared<app::AutoFocusManager>(app::AutoFocusManager::Dependencies{
            .mainLoop = loop, .workspace = workspace, .settings = settings, .ownBundleID = {}});
        autoFocus->addTarget("Target", "org.example.App0");
        autoFocus->configure({apps, xpc, {}, {}});
        autoFocus->isEnabled = true;
        app::spawn(loop, [&]() -> app::Async<> {
            co_await xpc->pingHelper();
            app::Subscription token;
            while (state.KeepRunning()) {
                workspace.activate(1000);
                co_await nextValue(autoFocus->autoFocusActive, true, token);
                workspace.activate(1001);
                co_await nextValue(autoFocus->autoFocusActive, false, token);
            }
            loop.quit();
        });
        loop.run();
    }
    log::setSink({});
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_AutoFocusFrontChangeToReply)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
