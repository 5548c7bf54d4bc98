// What the jail and Beast Mode cost:
//  - one jail tick, steady and when all are new, over this machine's real /proc plus 500 synthetic
//    application processes (50 applications, half recognised by GLib's launch
//    variables, half by their executable), with the desktop entries of
//    /usr/share indexed as well;
//  - Beast Mode activation over 200 real application processes with the
//    helper's in-process task policy (CPU 1 made the efficiency CPU by
//    a fixture sysfs tree);
//  - the built helper idling with a non-empty jail list, its CPU time read
//    from /proc/PID/task/*/schedstat over KORVANE_IDLE_SECONDS (60 by
//    default).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "helper/helper_tool.h"
#include "helper/proc_process_info.h"
#include "platform/linux/proc/process_table.h"
#include "platform/linux/proc/cgroup_unit_lookup.h"
#include "platform/linux/proc/process_tree.h"
#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/sched/in_process_task_policy.h"
#include "platform/linux/identity/identity_resolver.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "shared/paths/installed_paths.h"
#include "tests/fakes/fixture_tree.h"

extern char** environ;

using namespace korvane;

namespace {

constexpr int kSyntheticProcesses = 500;
constexpr int kApplications = 50;
constexpr int kBeastProcesses = 200;
constexpr pid_t kFirstSyntheticPid = 4200000;  // above the kernel's largest pid

// Counts the lines a scan writes instead of printing them.
std::atomic<int> scansFinished = 0;
void quietLog() {
    log::setSink([](std::string_view line) {
        if (line.find("checkJailedProcesses — found") != std::string_view::npos) ++scansFinished;
    });
}

class NoWorkPolicy final : public TaskPolicy {
public:
    TaskPolicyResult apply(std::int32_t) override { return TaskPolicyChange{}; }
    TaskPolicyResult release(std::int32_t) override { return TaskPolicyChange{}; }
};

// Counts the full lookups a scan could not take from the memo.
class CountingIdentity final : public identity::ProcessIdentity {
public:
    explicit CountingIdentity(identity::ProcessIdentity& inner) : inner_(inner) {}
    void refresh() override { inner_.refresh(); }
    std::optional<identity::AppOrigin> originOf(pid_t pid) override {
        ++lookups;
        return inner_.originOf(pid);
    }
    std::optional<std::string> readAppID(const identity::AppOrigin& origin) override {
        return inner_.readAppID(origin);
    }
    std::uint64_t generation() const override { return inner_.generation(); }
    std::atomic<long> lookups = 0;

private:
    identity::ProcessIdentity& inner_;
};

std::string appID(int app) { return "org.bench.App" + std::to_string(app); }

// A /proc of this machine's processes (linked) and synthetic ones, and the
// data and program folders that name the synthetic ones.
class SyntheticWorld {
public:
    SyntheticWorld() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
            std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") == std::string::npos) {
                tree.symlink("proc/" + name, entry.path().string());
            }
        }
        for (int app = 0; app < kApplications; ++app) {
            tree.executable("bin/app" + std::to_string(app));
            tree.write("data/applications/" + appID(app) + ".desktop",
                       "[Desktop Entry]\nType=Application\nName=App " + std::to_string(app) + "\nExec=app" +
                           std::to_string(app) + " %U\nIcon=app\n");
        }
        // A session's worth of environment, as real processes carry.
        std::string environment;
        for (int i = 0; i < 40; ++i) environment += "VARIABLE_" + std::to_string(i) + "=" + std::string(40, 'x') + '\0';
        for (int i = 0; i < kSyntheticProcesses; ++i) {
            pid_t pid = kFirstSyntheticPid + i;
            int app = i % kApplications;
            std::string folder = "proc/" + std::to_string(pid) + "/";
            std::string program = tree.path("bin/app" + std::to_string(app));
            tree.write(folder + "cmdline", program + '\0' + "--type=worker" + '\0' + "--id=" + std::to_string(i) + '\0');
            tree.write(folder + "stat", std::to_string(pid) + " (app" + std::to_string(app) +
                                            ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 " +
                                            std::to_string(1000 + i) + " 0 0\n");
            if (i % 2 == 0) {
                tree.write(folder + "environ", environment + "GIO_LAUNCHED_DESKTOP_FILE=" + tree.path("data") +
                                                   "/applications/" + appID(app) + ".desktop" + '\0' +
                                                   "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(pid) + '\0');
            } else {
                tree.write(folder + "environ", environment);
                tree.symlink(folder + "exe", program);
            }
        }
    }

    identity::IdentityConfig identityConfig() const {
        auto config = identity::IdentityConfig::fromEnvironment();
        config.procRoot = tree.path("proc");
        config.systemDataFolders = {tree.path("data"), "/usr/local/share", "/usr/share"};
        config.executableSearchPath.insert(config.executableSearchPath.begin(), tree.path("bin"));
        return config;
    }
    std::string procRoot() const { return tree.path("proc"); }

private:
    testing::FixtureTree tree;
};

void BM_JailTick(benchmark::State& state) {
    quietLog();
    SyntheticWorld world;
    linux_platform::CgroupUnitLookup units;
    identity::IdentityResolver resolver(world.identityConfig(), units);
    CountingIdentity identities(resolver);
    std::string procRoot = world.procRoot();
    linux_platform::ProcessTable table(procRoot);
    helper::ProcessInfo info({
        .table = [&] { return table.read(); },
        .identity = identities,
        .parentOf = [&](std::int32_t pid) { return linux_platform::readParentPID(procRoot, pid); },
        .cgroupOf = [&](std::int32_t pid) { return linux_platform::readCgroup(procRoot, pid); },
        .selfPID = static_cast<std::int32_t>(::getpid()),
    });
    VirtualMainLoop loop;
    NoWorkPolicy policy;
    helper::HelperTool tool({.mainLoop = loop,
                             .taskPolicy = policy,
                             .scanner = &info,
                             .startTimeOf = [](std::int32_t) { return std::optional<std::uint64_t>(1); }});
    // The first scan indexes the entries and throttles the matches.
    scansFinished = 0;
    tool.updateJailedBundleIDs({appID(3), appID(17), "firefox-esr"}, [](bool, std::optional<std::string>) {});
    while (scansFinished == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::size_t matched = tool.throttledPIDsSnapshot().size();
    // Ticks come 5 seconds apart, so from the second on every process's
    // origin and the fresh data folder have settled.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    tool.monitoringTick();

    identities.lookups = 0;
    for (auto _ : state) tool.monitoringTick();
    state.counters["jailed_processes"] = static_cast<double>(matched);
    state.counters["full_lookups_per_tick"] =
        static_cast<double>(identities.lookups) / static_cast<double>(state.iterations());
    log::setSink({});
}
BENCHMARK(BM_JailTick)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The tick that first meets 500 processes: every command line read, every
// origin looked up; the desktop entries are indexed already.
void BM_JailTickWhenAllAreNew(benchmark::State& state) {
    quietLog();
    SyntheticWorld world;
    linux_platform::CgroupUnitLookup units;
    identity::IdentityResolver resolver(world.identityConfig(), units);
    std::string procRoot = world.procRoot();
    auto scanner = [&] {
        auto table = std::make_shared<linux_platform::ProcessTable>(procRoot);
        return std::make_unique<helper::ProcessInfo>(helper::ProcessInfoDependencies{
            .table = [table] { return table->read(); },
            .identity = resolver,
            .parentOf = [&](std::int32_t pid) { return linux_platform::readParentPID(procRoot, pid); },
            .cgroupOf = [&](std::int32_t pid) { return linux_platform::readCgroup(procRoot, pid); },
            .selfPID = static_cast<std::int32_t>(::getpid()),
        });
    };
    std::set<std::string> jailed{appID(3), appID(17), "firefox-esr"};
    scanner()->pidsForBundleIDs(jailed);  // indexes the desktop entries
    std::size_t matched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto info = scanner();
        state.ResumeTiming();
        matched = info->pidsForBundleIDs(jailed).size();
    }
    state.counters["jailed_processes"] = static_cast<double>(matched);
    log::setSink({});
}
BENCHMARK(BM_JailTickWhenAllAreNew)->Unit(benchmark::kMillisecond)->Iterations(20)->MeasureProcessCPUTime()->UseRealTime();

pid_t spawnWithEnvironment(std::vector<std::string> arguments, std::vector<std::string> variables) {
    for (char** variable = environ; *variable; ++variable) variables.emplace_back(*variable);
    std::vector<char*> envp, argv;
    for (auto& v : variables) envp.push_back(v.data());
    for (auto& a : arguments) argv.push_back(a.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stopAll(const std::vector<pid_t>& pids, int signal) {
    for (pid_t pid : pids) ::kill(pid, signal);
    for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
}

void BM_BeastModeActivation(benchmark::State& state) {
    quietLog();
    testing::FixtureTree tree;
    tree.write("sys/devices/system/cpu/online", "0-1\n");
    tree.write("sys/devices/cpu_core/cpus", "0\n");
    tree.write("sys/devices/cpu_atom/cpus", "1\n");
    std::string entry = tree.write("data/applications/org.bench.Busy.desktop",
                                   "[Desktop Entry]\nType=Application\nExec=busy-not-installed\n");
    std::vector<pid_t> processes;
    for (int i = 0; i < kBeastProcesses; ++i) {
        processes.push_back(spawnWithEnvironment(
            {"/bin/sh", "-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec sleep 600"},
            {"GIO_LAUNCHED_DESKTOP_FILE=" + entry}));
    }
    pid_t focus = spawnWithEnvironment({"/bin/sleep", "600"}, {});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every shell has become sleep

    auto config = identity::IdentityConfig::fromEnvironment();
    config.systemDataFolders = {tree.path("data")};
    config.homeOf = [](uid_t) { return std::nullopt; };
    linux_platform::CgroupUnitLookup units;
    identity::IdentityResolver identities(config, units);
    helper::ProcessInfo info(helper::procProcessInfoDependencies(identities));
    VirtualMainLoop loop;
    linux_platform::InProcessTaskPolicy policy(tree.path("sys"));
    helper::HelperTool tool({.mainLoop = loop,
                             .taskPolicy = policy,
                             .scanner = &info,
                             .startTimeOf = [](std::int32_t pid) {
                                 return linux_platform::readStartTime("/proc", pid);
                             }});
    std::size_t throttled = 0;
    for (auto _ : state) {
        bool replied = false;
        tool.setBeastMode(true, focus, [&](bool, std::optional<std::string>) { replied = true; });
        loop.runPending();
        state.PauseTiming();
        throttled = tool.throttledPIDsSnapshot().size();
        tool.setBeastMode(false, 0, [](bool, std::optional<std::string>) {});
        loop.runPending();
        if (!replied) state.SkipWithError("no reply");
        state.ResumeTiming();
    }
    state.counters["throttled"] = static_cast<double>(throttled);
    stopAll(processes, SIGKILL);
    stopAll({focus}, SIGKILL);
    log::setSink({});
}
BENCHMARK(BM_BeastModeActivation)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// Time on a CPU of every thread of a process, in seconds, to the nanosecond
// (utime and stime count in 10 ms ticks, too coarse for an idle process).
double cpuSeconds(pid_t pid) {
    double total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) total += nanoseconds / 1e9;
    }
    return total;
}

void BM_HelperIdleWithJailList(benchmark::State& state) {
    const char* configured = std::getenv("KORVANE_IDLE_SECONDS");
    int seconds = configured ? std::atoi(configured) : 60;
    testing::FixtureTree tree;
    std::string socket = tree.path("helper.sock");
    pid_t helper = spawnWithEnvironment({KORVANE_HELPER_BINARY},
                                        {std::string(paths::kSocketOverrideVariable) + "=" + socket});
    linux_platform::SpawnProcessRunner runner;
    auto ctl = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--socket", socket});
        auto result = runner.run(KORVANE_CTL_BINARY, arguments, OutputCapture::Combined);
        return result && result->exitStatus == 0;
    };
    for (int i = 0; i < 500 && !ctl({"ping"}); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ctl({"jail", "org.example.NotRunning", "firefox-esr"});
    for (auto _ : state) {
        double before = cpuSeconds(helper);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        double used = cpuSeconds(helper) - before;
        state.counters["helper_cpu_percent"] = 100.0 * used / seconds;
        state.counters["helper_cpu_ms_per_tick"] = 1000.0 * used / (seconds / 5.0);
    }
    stopAll({helper}, SIGTERM);
}
BENCHMARK(BM_HelperIdleWithJailList)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
