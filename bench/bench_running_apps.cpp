// What refreshing the list of running applications costs: a snapshot of 50
// applications from the desktop, the filter and the locale-aware sort, and the
// core lists recomputed. Icons either as theme names (entries that have one)
// or as 64x64 window pixels (windows without an entry).
#include <benchmark/benchmark.h>

#include <string>

#include "app/focus/app_manager.h"
#include "shared/log/log.h"
#include "shared/mainloop/virtual_main_loop.h"
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

}  // namespace

BENCHMARK_MAIN();
