// KorvaneHelper: the root daemon. Serves the protocol on its socket until
// SIGTERM or SIGINT.
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "helper/fan_restore.h"
#include "helper/helper_info.h"
#include "platform/linux/socket/helper_service.h"
#include "helper/helper_tool.h"
#include "helper/helper_options.h"
#include "helper/instance_lock.h"
#include "helper/log_file.h"
#include "helper/proc_process_info.h"
#include "helper/reply_text.h"
#include "helper/runtime_state_file.h"
#include "helper/spawning_task_policy.h"
#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/proc/cgroup_unit_lookup.h"
#include "platform/linux/proc/process_tree.h"
#include "platform/linux/process/spawn_process_runner.h"
#include "platform/linux/sched/in_process_task_policy.h"
#include "platform/linux/socket/unix_socket.h"
#include "platform/linux/identity/identity_resolver.h"
#include "shared/log/log.h"
#include "shared/mainloop/std_main_loop.h"
#include "shared/paths/installed_paths.h"
#include "shared/smc/smc_bridge.h"

using namespace korvane;

namespace {

std::optional<std::uint64_t> startTimeOf(std::int32_t pid) { return linux_platform::readStartTime("/proc", pid); }

// What removing the helper runs once the helper has stopped and before its
// records go: every process still on record gets its cores back, since
// nothing could release it afterwards.
int releaseAllOnRecord(StdMainLoop& loop, TaskPolicy& policy, StateFile& record) {
    helper::ThrottleEngine engine({loop, policy, startTimeOf, &record});
    std::optional<std::string> failure;
    engine.unthrottleAll([&](bool succeeded, std::optional<std::string> message) {
        if (!succeeded) failure = message.value_or("a release failed");
        loop.quit();
    });
    loop.run();
    if (failure) {
        log::write("KorvaneHelper: Could not release every process on record — " + *failure);
        return 1;
    }
    log::write("KorvaneHelper: Every process on record released");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The helper's threads mostly wait. An arena per thread would keep each
    // one's high-water mark resident for good; with one, what a scan frees
    // is reused by the next and the top of the heap goes back to the system.
    ::mallopt(M_ARENA_MAX, 1);
    ::mallopt(M_TRIM_THRESHOLD, 64 * 1024);
    auto options = helper::parseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "%s\n%s", options.error().c_str(), helper::kUsage);
        return 64;
    }
    if (options->showVersion) {
        std::printf("%s %s (%s)\n", helper::info::kBundleName.data(), helper::info::kVersion.data(),
                    paths::kServiceName.data());
        return 0;
    }
    if (options->showHelp) {
        std::printf("%s", helper::kUsage);
        return 0;
    }

    // Without a service manager to keep its lines, the helper keeps them
    // itself, capped, where only root may read them.
    static std::optional<helper::LogFile> logFile;
    if (options->logFile) {
        auto opened = helper::LogFile::open(*options->logFile);
        if (!opened) {
            std::fprintf(stderr, "com.korvane.helper: %s\n", opened.error().c_str());
            return 1;
        }
        logFile.emplace(std::move(*opened));
    }

    // Signals are taken by one thread with sigwait, so no handler ever runs
    // in the middle of the helper's own work.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Much of what the log shows comes from clients and other processes
    // (method names, application IDs, command lines, tool output); one event
    // stays one line whatever they hold.
    log::setBlockSink([](const std::vector<std::string_view>& lines) {
        std::string text;
        for (auto line : lines) {
            text += helper::escapedControlCharacters(line);
            text.push_back('\n');
        }
        if (logFile) logFile->makeRoomFor(text.size());
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });

    // Records of what this helper changed live in a folder only root may
    // write to, beside the socket in production.
    const std::string runtimeFolder = paths::helperRuntimeFolder();
    if (auto folder = linux_platform::ensurePrivateFolder(runtimeFolder); !folder) {
        log::write("KorvaneHelper: Cannot keep records in " + runtimeFolder + " — " + folder.error());
        return 1;
    }
    // Before any record is read or the socket touched: this is the one
    // helper of this folder, or it leaves everything alone.
    const std::string socketPath = paths::helperSocketPath();
    auto instance = helper::InstanceLock::take(runtimeFolder);
    if (!instance && instance.error().held && options->restoreFans) {
        log::write("KorvaneHelper: Fans left as they are — a running helper keeps them (" + instance.error().text + ")");
        return 0;
    }
    if (!instance && instance.error().held && options->releaseAll) {
        // A helper that still serves keeps its own set and would confine its
        // jail again: it is stopped first.
        log::write("KorvaneHelper: A helper still serves " + socketPath + " — stop it before releasing everything");
        return 1;
    }
    if (!instance) {
        log::write("KorvaneHelper: Cannot serve " + socketPath + " — " +
                   (instance.error().held ? "another helper is already serving " + socketPath + " (" +
                                                instance.error().text + ")"
                                          : instance.error().text));
        return 1;
    }
    helper::RuntimeStateFile fanRecord(runtimeFolder + "/" + helper::kFanRecordName);
    // Fans and the CPU temperature come from the kernel's hwmon devices.
    auto hwmon = std::make_shared<linux_platform::HwmonSMCDriver>(paths::sysfsRoot(), &fanRecord);
    SMCBridge::setDriver(hwmon);
    auto restoreRecordedFans = [&hwmon] {
        for (const auto& fan : hwmon->restoreRecordedFans()) {
            log::write("KorvaneHelper: " + std::string(fan.restored ? "Fan " : "Could not restore fan ") +
                       fan.identity +
                       (fan.restored ? " restored to Auto after an unclean stop" : " left in manual by an unclean stop"));
        }
    };
    if (options->restoreFans) {
        restoreRecordedFans();
        return 0;
    }

    StdMainLoop mainLoop;
    // The policy is given in-process; a taskpolicy named by KORVANE_TASKPOLICY
    // (tests) is started once per pid instead.
    linux_platform::SpawnProcessRunner spawner;
    helper::RuntimeStateFile threadStatesRecord(runtimeFolder + "/" + helper::kThreadStatesRecordName);
    std::unique_ptr<TaskPolicy> taskPolicy;
    CpuTopology cpuKinds = linux_platform::readCpuTopology(paths::sysfsRoot());
    if (options->taskPolicyTool) {
        taskPolicy = std::make_unique<helper::SpawningTaskPolicy>(spawner, *options->taskPolicyTool);
    } else {
        taskPolicy = std::make_unique<linux_platform::InProcessTaskPolicy>(cpuKinds, "/proc", &threadStatesRecord);
    }
    linux_platform::CgroupUnitLookup units;
    identity::IdentityResolver identities(identity::IdentityConfig::fromEnvironment(), units);
    identity::DesktopSession desktop(identity::DesktopSessionConfig::fromEnvironment());
    helper::ProcessInfo processInfo(helper::procProcessInfoDependencies(identities, &desktop));
    helper::RuntimeStateFile throttledRecord(runtimeFolder + "/" + helper::kThrottledRecordName);
    if (options->releaseAll) {
        int status = releaseAllOnRecord(mainLoop, *taskPolicy, throttledRecord);
        restoreRecordedFans();
        return status;
    }
    helper::HelperTool tool({.mainLoop = mainLoop,
                             .taskPolicy = *taskPolicy,
                             .scanner = &processInfo,
                             .startTimeOf = startTimeOf,
                             .throttledRecord = &throttledRecord});

    linux_platform::HelperService service(tool, options->allowedUid);
    if (auto listening = service.listen(socketPath); !listening) {
        log::write("KorvaneHelper: Cannot serve " + socketPath + " — " + listening.error());
        return 1;
    }
    // Only now is this the one helper: a fan a killed predecessor left in
    // manual goes back to automatic before any client is answered.
    restoreRecordedFans();
    service.start();
    log::write("KorvaneHelper: Daemon started with Mach service name: " + std::string(paths::kServiceName));
    log::write("KorvaneHelper: CPU kinds — " + summarizeTopology(cpuKinds));

    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        log::write(std::string("KorvaneHelper: Stopping on ") + (signal == SIGTERM ? "SIGTERM" : "SIGINT"));
        // A long call ends at its next batch, whatever the main loop is doing.
        tool.stop();
        mainLoop.quit();
    });
    signalWaiter.detach();

    mainLoop.run();
    bool allEnded = service.stop();
    // No client can switch a fan any more: hand every fan we left in manual
    // back to its automatic control before we go.
    helper::manualFanRegistry().restoreAutomatic();
    if (!allEnded) {
        // An operation still runs on a connection's thread and uses what
        // would be destroyed on the way out; what it did so far is on
        // record for the next start.
        log::write("KorvaneHelper: Stopped with an operation still in progress");
        std::_Exit(0);
    }
    return 0;
}
