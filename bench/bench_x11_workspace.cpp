// What following an X11 desktop of 50 applications costs: the snapshot the
// application manager asks for on every refresh (with its filtering and
// sorting by name), reading the whole desktop afresh (every window's
// properties and every process's identity, as when the workspace opens), and
// the identity part of that alone. A private Xvfb with openbox runs 50 small
// X clients; half of them have desktop entries found by their window class.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/linux/workspace/window_identity.h"
#include "platform/linux/x11/x11_workspace.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/desktops/x11_session.h"

using namespace korvane;

namespace {

constexpr int kClients = 50;

struct BenchDesktop {
    BenchDesktop() {
        std::string why;
        session = testing::XSession::start(why);
        if (!session) {
            std::fprintf(stderr, "no desktop: %s\n", why.c_str());
            return;
        }
        for (int i = 0; i < kClients / 2; ++i) {
            std::string n = std::to_string(i);
            tree.write("share/applications/org.bench.App" + n + ".desktop",
                       "[Desktop Entry]\nType=Application\nName=App " + n + "\nName[de]=Anwendung " + n +
                           "\nIcon=bench-" + n + "\nStartupWMClass=BenchClass" + n + "\n");
        }
        for (int i = 0; i < kClients; ++i) {
            testing::ClientOptions options{.instance = "bench" + std::to_string(i),
                                           .className = "BenchClass" + std::to_string(i),
                                           .iconSizes = {{16, 16}, {32, 32}, {48, 48}}};
            clients.push_back(std::make_unique<testing::TestClient>(*session, options));
            classes.push_back({options.instance, options.className});
        }
        auto opened = linux_platform::X11Workspace::open(loop, config(), units);
        if (!opened) return;
        workspace = std::move(*opened);
        // The window manager lists windows a moment after they are mapped.
        testing::waitUntil([&] { return workspace->runningApplications().size() == kClients; });
        std::fprintf(stderr, "%zu applications on %s\n", workspace->runningApplications().size(),
                     session->display().c_str());
    }

    linux_platform::X11WorkspaceConfig config() {
        auto tracker = testing::privateTrackerConfig(tree);
        return {.display = session->display(), .identity = tracker.identity, .locale = tracker.locale};
    }

    bool ready() const { return workspace && workspace->runningApplications().size() == kClients; }

    testing::FixtureTree tree;
    std::unique_ptr<testing::XSession> session;
    std::vector<std::unique_ptr<testing::TestClient>> clients;
    std::vector<linux_platform::WindowClass> classes;
    testing::FakeUnits units;
    VirtualMainLoop loop;
    std::unique_ptr<linux_platform::X11Workspace> workspace;
};

BenchDesktop& desktop() {
    static BenchDesktop instance;
    return instance;
}

// The snapshot with what the application manager does to it on a refresh:
// keep the regular applications that have a name, sort them by name.
void BM_RefreshRunningApps(benchmark::State& state) {
    auto& d = desktop();
    if (!d.ready()) return state.SkipWithError("no desktop with 50 applications");
    for (auto _ : state) {
        auto apps = d.workspace->runningApplications();
        std::erase_if(apps, [](const app::RunningApplication& a) {
            return a.activationPolicy != app::ActivationPolicy::regular || !a.localizedName;
        });
        std::stable_sort(apps.begin(), apps.end(),
                         [](const auto& a, const auto& b) { return *a.localizedName < *b.localizedName; });
        benchmark::DoNotOptimize(apps);
    }
}
BENCHMARK(BM_RefreshRunningApps)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// Connecting and reading every window and identity afresh.
void BM_ReadWholeDesktop(benchmark::State& state) {
    auto& d = desktop();
    if (!d.ready()) return state.SkipWithError("no desktop with 50 applications");
    for (auto _ : state) {
        auto opened = linux_platform::X11Workspace::open(d.loop, d.config(), d.units);
        if (!opened || (*opened)->runningApplications().size() != kClients) {
            return state.SkipWithError("the desktop read short");
        }
    }
}
BENCHMARK(BM_ReadWholeDesktop)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

// The identity of 50 processes with nothing remembered: /proc, the desktop
// entries' index, window-class rules and names.
void BM_IdentifyFiftyProcesses(benchmark::State& state) {
    auto& d = desktop();
    if (!d.ready()) return state.SkipWithError("no desktop with 50 applications");
    std::vector<pid_t> pids;
    for (const auto& c : d.clients) pids.push_back(c->pid());
    for (auto _ : state) {
        identity::IdentityResolver resolver(d.config().identity, d.units);
        linux_platform::WindowIdentity naming(resolver, "de_DE.UTF-8");
        naming.refresh();
        for (std::size_t i = 0; i < pids.size(); ++i) {
            benchmark::DoNotOptimize(naming.nameApp({pids[i], 0}, {d.classes[i]}));
        }
    }
}
BENCHMARK(BM_IdentifyFiftyProcesses)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
