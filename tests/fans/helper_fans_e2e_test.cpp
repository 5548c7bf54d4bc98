// The built helper and korvanectl, talking over a real socket, driving a fan
// of a fake sysfs tree made of plain files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/linux/process/spawn_process_runner.h"
#include "tests/hwmon/fake_sysfs.h"

extern char** environ;

namespace korvane {
namespace {

using namespace std::chrono_literals;

// One running helper; stopped (SIGKILL as the last resort) when it ends.
class RunningHelper {
public:
    RunningHelper(const std::string& socketPath, const std::string& sysfsRoot, const std::string& logPath)
        : socketPath_(socketPath) {
        ::setenv("KORVANE_HELPER_SOCKET", socketPath.c_str(), 1);
        ::setenv("KORVANE_SYSFS_ROOT", sysfsRoot.c_str(), 1);
        std::string allow = "--allow-uid=" + std::to_string(::getuid());
        std::string program = KORVANE_HELPER_BINARY;
        char* argv[] = {program.data(), allow.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    ~RunningHelper() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool waitUntilListening() const {
        for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
            if (std::filesystem::exists(socketPath_)) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The exit status after the signal, or -1 when it did not stop in time.
    int terminate(int signal = SIGTERM) {
        ::kill(pid_, signal);
        for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

private:
    std::string socketPath_;
    pid_t pid_ = -1;
};

class HelperFansEndToEnd : public ::testing::Test {
protected:
    ProcessResult ctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--socket", socketPath});
        auto result = runner.run(KORVANE_CTL_BINARY, arguments, OutputCapture::Combined);
        EXPECT_TRUE(result.has_value());
        return result ? *result : ProcessResult{-1, {}};
    }
    std::string pwm(const std::string& name) { return sysfs.read("class/hwmon/hwmon4/" + name); }

    testing::FakeSysfs sysfs;
    testing::FakeSysfs scratch;  // an empty folder for the socket and the helper's log
    std::string socketPath = scratch.root() + "/helper.sock";
    std::string logPath = scratch.root() + "/helper.log";
    linux_platform::SpawnProcessRunner runner;
};

TEST_F(HelperFansEndToEnd, ManualSpeedThenSigtermHandsTheFanBackToItsCurve) {
    sysfs.addDesktopWithNct6775(5);
    RunningHelper helper(socketPath, sysfs.root(), logPath);
    ASSERT_TRUE(helper.waitUntilListening());

    auto manual = ctl({"fan-mode", "0", "manual"});
    EXPECT_EQ(manual.exitStatus, 0) << manual.output;
    EXPECT_EQ(pwm("pwm1_enable"), "1");
    EXPECT_EQ(pwm("pwm1"), "120");  // held where the curve had it

    auto speed = ctl({"fan-rpm", "0", "2500"});
    EXPECT_EQ(speed.exitStatus, 0) << speed.output;
    EXPECT_EQ(pwm("pwm1"), "98");  // 2500 RPM on the 300..6000 scale

    auto missing = ctl({"fan-mode", "7", "manual"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.output.find("Failed to set fan 7 mode: keyNotFound"), std::string::npos) << missing.output;

    EXPECT_EQ(helper.terminate(), 0);
    EXPECT_EQ(pwm("pwm1_enable"), "5");
    std::string log = scratch.read("helper.log");
    EXPECT_NE(log.find("SMCBridge: Bağlantı açıldı — AppleSMC"), std::string::npos) << log;
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 mode set to Manual"), std::string::npos);
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 target RPM set to 2500"), std::string::npos);
    EXPECT_NE(log.find("KorvaneHelper: Fan 0 mode restored to Auto"), std::string::npos);
}

TEST_F(HelperFansEndToEnd, SigintRestoresAsSigtermDoes) {
    sysfs.addDesktopWithNct6775(3);
    RunningHelper helper(socketPath, sysfs.root(), logPath);
    ASSERT_TRUE(helper.waitUntilListening());
    EXPECT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
    EXPECT_EQ(helper.terminate(SIGINT), 0);
    EXPECT_EQ(pwm("pwm1_enable"), "3");
}

}  // namespace
}  // namespace korvane
