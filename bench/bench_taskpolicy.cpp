// Throttling and releasing 200 real processes, four threads each: once
// by starting the built taskpolicy for every pid, once in-process as the
// helper does; and the kernel's floor for the same work.
// CPU 1 is made the efficiency core by a fixture sysfs tree, so affinity
// changes are part of the work. Prints both figures and their ratio.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/linux/process/spawn_process_runner.h"
#include "helper/spawning_task_policy.h"
#include "platform/linux/sched/in_process_task_policy.h"
#include "platform/linux/sched/thread_sched.h"
#include "shared/paths/installed_paths.h"

using namespace korvane;

namespace {

constexpr int kProcesses = 200;
constexpr int kThreadsPerProcess = 4;

// The processes to change, started before any benchmark thread exists.
class Flock {
public:
    Flock() {
        int ready[2];
        if (::pipe(ready) != 0) return;
        for (int i = 0; i < kProcesses; ++i) {
            pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (int t = 1; t < kThreadsPerProcess; ++t) {
                    std::thread([] {
                        for (;;) ::pause();
                    }).detach();
                }
                if (::write(ready[1], "r", 1) != 1) ::_exit(1);
                for (;;) ::pause();
            }
            if (pid > 0) pids_.push_back(std::to_string(pid));
        }
        char byte;
        for (std::size_t i = 0; i < pids_.size(); ++i) {
            if (::read(ready[0], &byte, 1) != 1) break;
        }
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~Flock() {
        for (const auto& pid : pids_) ::kill(std::stoi(pid), SIGKILL);
        for (const auto& pid : pids_) ::waitpid(std::stoi(pid), nullptr, 0);
    }
    const std::vector<std::string>& pids() const { return pids_; }

private:
    std::vector<std::string> pids_;
};

class SysfsWithEfficiencyCpu1 {
public:
    SysfsWithEfficiencyCpu1() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        write("devices/system/cpu/online", "0-1\n");
        write("devices/cpu_core/cpus", "0\n");
        write("devices/cpu_atom/cpus", "1\n");
        ::setenv(paths::kSysfsRootVariable, root_.c_str(), 1);  // for the spawned tool
    }
    ~SysfsWithEfficiencyCpu1() { std::filesystem::remove_all(root_); }
    const std::string& root() const { return root_; }

private:
    void write(const std::string& relative, const std::string& text) {
        auto path = std::filesystem::path(root_) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::string root_;
};

Flock* flock = nullptr;
SysfsWithEfficiencyCpu1* sysfs = nullptr;
// Every iteration's throttle + release, so that the ratio comes from the
// medians of all runs, not from whichever ran last.
std::vector<double> spawningRuns;
std::vector<double> inProcessRuns;
std::vector<double> inProcessCpuRuns;  // this process's CPU time per throttle + release
std::vector<double> floorCpuRuns;

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void throttleAndReleaseAll(benchmark::State& state, TaskPolicy& policy, std::vector<double>& runs,
                           std::vector<double>* cpuRuns = nullptr) {
    std::vector<std::int32_t> pids;
    for (const auto& pid : flock->pids()) pids.push_back(std::stoi(pid));
    std::vector<double> throttles, releases;
    for (auto _ : state) {
        double cpuAtStart = cpuMs();
        for (bool background : {true, false}) {
            // One batch, as a throttleMultipleProcesses call hands it over.
            auto start = Clock::now();
            auto results = background ? policy.applyEach(pids) : policy.releaseEach(pids);
            (background ? throttles : releases).push_back(msSince(start));
            for (const auto& result : results) {
                if (!result) {
                    state.SkipWithError("taskpolicy failed");
                    return;
                }
            }
        }
        runs.push_back(throttles.back() + releases.back());
        if (cpuRuns) cpuRuns->push_back(cpuMs() - cpuAtStart);
    }
    state.counters["throttle_200_ms_median"] = median(throttles);
    state.counters["release_200_ms_median"] = median(releases);
}

void BM_SpawningTool(benchmark::State& state) {
    linux_platform::SpawnProcessRunner runner;
    helper::SpawningTaskPolicy policy(runner, KORVANE_TASKPOLICY_BINARY);
    throttleAndReleaseAll(state, policy, spawningRuns);
}

void BM_InProcess(benchmark::State& state) {
    linux_platform::InProcessTaskPolicy policy(sysfs->root());
    throttleAndReleaseAll(state, policy, inProcessRuns, &inProcessCpuRuns);
}

// What the kernel needs at the least for the same work, with no checks at
// all: each process's threads listed once per direction, and per thread the
// three readings and three changes, then the three changes back. The
// in-process policy's distance from this is what its own bookkeeping costs.
std::vector<pid_t> listThreads(pid_t pid) {
    std::vector<pid_t> tids;
    std::string folder = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') tids.push_back(std::atoi(entry->d_name));
        }
        ::closedir(dir);
    }
    return tids;
}

void BM_KernelFloor(benchmark::State& state) {
    const linux_platform::CpuMask efficiency = linux_platform::CpuMask::of({1});
    linux_platform::SchedAttributes idle;
    idle.policy = SCHED_IDLE;
    for (auto _ : state) {
        double cpuAtStart = cpuMs();
        std::vector<std::pair<pid_t, linux_platform::ThreadSchedState>> saved;
        for (const auto& pid : flock->pids()) {
            for (pid_t tid : listThreads(std::stoi(pid))) {
                auto& before = saved.emplace_back(tid, linux_platform::ThreadSchedState{});
                linux_platform::readThreadSchedState(tid, before.second);
                linux_platform::setThreadAffinity(tid, efficiency);
                linux_platform::setThreadAttributes(tid, idle);
                linux_platform::setThreadIoPriority(tid, linux_platform::kIoPriorityIdle);
            }
        }
        for (const auto& pid : flock->pids()) benchmark::DoNotOptimize(listThreads(std::stoi(pid)));
        for (const auto& [tid, before] : saved) {
            linux_platform::setThreadAffinity(tid, before.affinity);
            linux_platform::setThreadAttributes(tid, before.attributes);
            linux_platform::setThreadIoPriority(tid, before.ioPriority);
        }
        floorCpuRuns.push_back(cpuMs() - cpuAtStart);
    }
}

BENCHMARK(BM_SpawningTool)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InProcess)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KernelFloor)->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    SysfsWithEfficiencyCpu1 tree;
    Flock processes;
    sysfs = &tree;
    flock = &processes;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    double spawningMs = median(spawningRuns);
    double inProcessMs = median(inProcessRuns);
    if (spawningMs > 0 && inProcessMs > 0) {
        std::printf("throttle + release of %d processes (%d threads each), medians of all runs: spawning %.1f ms, "
                    "in-process %.2f ms (CPU %.2f ms), in-process %.0fx faster\n",
                    kProcesses, kThreadsPerProcess, spawningMs, inProcessMs, median(inProcessCpuRuns),
                    spawningMs / inProcessMs);
    }
    if (!floorCpuRuns.empty()) {
        std::printf("the kernel's floor for the same work: CPU %.2f ms\n", median(floorCpuRuns));
    }
    return 0;
}
