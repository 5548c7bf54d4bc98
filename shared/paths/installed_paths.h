#pragma once
// Names and places fixed for both programs: the service, where its socket
// lives, and the files an installation puts on the machine.
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::paths {

inline constexpr std::string_view kServiceName = "com.korvane.helper";
inline constexpr std::string_view kSocketDirectory = "/run/korvane";
inline constexpr std::string_view kSocketPath = "/run/korvane/com.korvane.helper.sock";
inline constexpr std::string_view kHelperExecutable = "/usr/local/libexec/korvane/com.korvane.helper";
inline constexpr std::string_view kHelperServiceFile = "/etc/systemd/system/com.korvane.helper.service";
inline constexpr std::string_view kTaskPolicyTool = "/usr/local/libexec/korvane/taskpolicy";

// Tests point both programs at a private socket.
inline constexpr const char* kSocketOverrideVariable = "KORVANE_HELPER_SOCKET";
// Tests run the helper with a stand-in for the taskpolicy tool.
inline constexpr const char* kTaskPolicyOverrideVariable = "KORVANE_TASKPOLICY";
// Tests point topology, hwmon and similar readers at a fixture tree.
inline constexpr const char* kSysfsRootVariable = "KORVANE_SYSFS_ROOT";
// Tests move the helper's records of what it changed (fans, throttled
// processes); without it they live beside the socket.
inline constexpr const char* kRuntimeFolderVariable = "KORVANE_HELPER_RUNTIME_DIR";
// Tests install the helper under a private folder instead of /.
inline constexpr const char* kInstallRootVariable = "KORVANE_INSTALL_ROOT";
// Tests replace pkexec with a program that takes the same arguments.
inline constexpr const char* kPrivilegeRunnerVariable = "KORVANE_PRIVILEGE_RUNNER";

inline std::string helperSocketPath() {
    const char* overridden = std::getenv(kSocketOverrideVariable);
    return overridden && *overridden ? std::string(overridden) : std::string(kSocketPath);
}

inline std::string helperRuntimeFolder() {
    const char* overridden = std::getenv(kRuntimeFolderVariable);
    if (overridden && *overridden) return overridden;
    std::string socket = helperSocketPath();
    auto slash = socket.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : socket.substr(0, slash);
}

// A taskpolicy program the helper is to run per pid instead of doing the
// work in its own process; nothing in production.
inline std::optional<std::string> taskPolicyOverride() {
    const char* overridden = std::getenv(kTaskPolicyOverrideVariable);
    return overridden && *overridden ? std::optional<std::string>(overridden) : std::nullopt;
}

inline std::string installRoot() {
    const char* overridden = std::getenv(kInstallRootVariable);
    return overridden ? std::string(overridden) : std::string();
}

inline std::string sysfsRoot() {
    const char* overridden = std::getenv(kSysfsRootVariable);
    return overridden && *overridden ? std::string(overridden) : std::string("/sys");
}

}  // namespace korvane::paths
