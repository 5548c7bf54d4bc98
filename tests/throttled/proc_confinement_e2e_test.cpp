// The throttled-now list on this machine: a real process and its child,
// confined by the helper as built (as root), read back from /proc with the
// reason the helper client recorded, and freed by "Release all".
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/throttled/throttled_processes_manager.h"
#include "platform/linux/proc/proc_confinement_reader.h"
#include "platform/linux/socket/socket_helper_connection.h"
#include "shared/log/log.h"
#include "tests/app_client/client_test_support.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"
#include "tests/fakes/target_process.h"

namespace korvane::app {
namespace {

const ThrottledProcess* listed(const ThrottledProcessesManager& manager, std::int32_t pid) {
    for (const auto& process : manager.processes.get()) {
        if (process.pid == pid) return &process;
    }
    return nullptr;
}

TEST(ThrottledNowOnThisMachine, WhatTheHelperConfinesIsListedWithItsChildAndReleaseAllFreesThem) {
    if (::geteuid() != 0) GTEST_SKIP() << "the helper changes the scheduling of processes only as root";
    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    const std::string socketPath = folder.path("helper.sock");
    testing::HelperDaemon daemon(KORVANE_HELPER_BINARY, socketPath, folder.path("helper.log"));
    ASSERT_TRUE(daemon.waitUntilListening()) << daemon.log();
    linux_platform::SocketHelperConnector connector(socketPath);
    auto xpc = std::make_shared<XPCManager>(
        XPCManager::Dependencies{.mainLoop = loop, .connector = connector, .filesystemRoot = folder.root()});
    ASSERT_TRUE(loop.runUntil([&] { return xpc->initialStatusCheck().done(); }));

    testing::TargetProcess target(2, 1);
    ASSERT_TRUE(target.ready());
    testing::FakeWorkspace workspace(loop);
    workspace.add(testing::FakeWorkspace::regular(target.pid(), "Target", "org.example.Target"));
    auto apps = std::make_shared<AppManager>(AppManager::Dependencies{loop, workspace, {}, "en_US"});
    linux_platform::ProcConfinementReader reader;
    ThrottledProcessesManager manager({loop, reader, apps, xpc, {}, nullptr});

    manager.refresh();
    EXPECT_EQ(listed(manager, target.pid()), nullptr);

    testing::awaitOn(loop, [&] { return xpc->throttleProcess(target.pid()); });
    ASSERT_TRUE(xpc->throttledPIDs->contains(target.pid())) << daemon.log();
    manager.refresh();
    const ThrottledProcess* process = listed(manager, target.pid());
    const ThrottledProcess* child = listed(manager, target.child());
    ASSERT_NE(process, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(process->name, "Target");
    EXPECT_EQ(process->reasons, kThrottledForFocus);
    EXPECT_EQ(child->reasons, kThrottledForFocus);  // confined with its parent
    EXPECT_EQ(process->cpus, testing::viewOf(target.pid()).cpus);

    TaskHandle released = manager.releaseAll();
    ASSERT_TRUE(loop.runUntil([&] { return released.done(); }));
    EXPECT_FALSE(manager.releaseError.get()) << *manager.releaseError.get();
    EXPECT_EQ(listed(manager, target.pid()), nullptr);
    EXPECT_EQ(listed(manager, target.child()), nullptr);
    testing::expectNormal(target.pid());
}

}  // namespace
}  // namespace korvane::app
