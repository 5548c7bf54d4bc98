#pragma once
// Names and places fixed for both programs: the service, where its socket
// lives, and the files an installation puts on the machine.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::paths {

namespace detail {
// The pieces joined at compile time, so the service's name is written once
// and every path built from it follows a rename.
template <const std::string_view&... Parts>
struct Joined {
    static constexpr auto storage = [] {
        std::array<char, (Parts.size() + ... + 0) + 1> out{};
        std::size_t at = 0;
        ((std::copy(Parts.begin(), Parts.end(), out.begin() + static_cast<std::ptrdiff_t>(at)), at += Parts.size()), ...);
        return out;
    }();
    static constexpr std::string_view value{storage.data(), storage.size() - 1};
};
inline constexpr std::string_view kSlash = "/";
inline constexpr std::string_view kLibexecFolder = "/usr/local/libexec/korvane/";
inline constexpr std::string_view kUnitFolder = "/etc/systemd/system/";
inline constexpr std::string_view kSocketSuffix = ".sock";
inline constexpr std::string_view kUnitSuffix = ".service";
inline constexpr std::string_view kTaskPolicyName = "taskpolicy";
}  // namespace detail

// The tray application's one name: its desktop entry's ID, which it gives the
// desktop for its windows, its notifications and its tray item, its icon's
// name and its session-bus name.
inline constexpr std::string_view kAppID = "com.korvane.app";

// The helper's one name: its program, its systemd unit and its socket.
inline constexpr std::string_view kServiceName = "com.korvane.helper";
inline constexpr std::string_view kSocketDirectory = "/run/korvane";
inline constexpr std::string_view kSocketPath =
    detail::Joined<kSocketDirectory, detail::kSlash, kServiceName, detail::kSocketSuffix>::value;
inline constexpr std::string_view kHelperExecutable = detail::Joined<detail::kLibexecFolder, kServiceName>::value;
inline constexpr std::string_view kUnitName = detail::Joined<kServiceName, detail::kUnitSuffix>::value;
inline constexpr std::string_view kHelperServiceFile = detail::Joined<detail::kUnitFolder, kUnitName>::value;
inline constexpr std::string_view kTaskPolicyTool = detail::Joined<detail::kLibexecFolder, detail::kTaskPolicyName>::value;

static_assert(kSocketPath == "/run/korvane/com.korvane.helper.sock");
static_assert(kHelperServiceFile == "/etc/systemd/system/com.korvane.helper.service");

// Tests point both programs at a private socket.
inline constexpr const char* kSocketOverrideVariable = "KORVANE_HELPER_SOCKET";
// Tests run the helper with a stand-in for the taskpolicy tool.
inline constexpr const char* kTaskPolicyOverrideVariable = "KORVANE_TASKPOLICY";
// Tests point topology, hwmon and similar readers at a fixture tree.
inline constexpr const char* kSysfsRootVariable = "KORVANE_SYSFS_ROOT";
// Tests point the application's readers of machine-wide /proc files (the
// core sampler's stat, the setup window's meminfo and device-tree model) at
// a fixture tree. Per-process files are always the real /proc: they describe
// the processes Korvane acts on, and the root helper reads no variable that
// would move them.
inline constexpr const char* kMachineProcRootVariable = "KORVANE_PROC_ROOT";
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

inline std::string machineProcRoot() {
    const char* overridden = std::getenv(kMachineProcRootVariable);
    return overridden && *overridden ? std::string(overridden) : std::string("/proc");
}

}  // namespace korvane::paths
