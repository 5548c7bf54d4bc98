#include "platform/linux/install/helper_install_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/paths/installed_paths.h"

namespace korvane::linux_platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPolicyFile = "usr/share/polkit-1/actions/com.korvane.app.install-helper.policy";

bool present(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

bool isDirectory(const fs::path& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

// Installed, the helper sits in <prefix>/libexec/korvane beside <prefix>/bin/korvane;
// in a build tree it is the helper target's output a few folders up.
std::string sourceExecutable(const fs::path& program) {
    fs::path prefix = program.parent_path().parent_path();
    fs::path installed = prefix / "libexec/korvane" / paths::kServiceName;
    if (present(installed)) return installed.string();
    fs::path folder = program.parent_path();
    for (int level = 0; level < 4 && folder.has_relative_path(); ++level, folder = folder.parent_path()) {
        fs::path built = folder / "helper" / paths::kServiceName;
        if (present(built)) return built.string();
    }
    return installed.string();
}

// <prefix>/share/korvane/install_helper.sh when installed; in a build tree the
// copy CMake keeps under the build folder.
std::string shippedScript(const fs::path& program) {
    const fs::path relative = "share/korvane/install_helper.sh";
    fs::path installed = program.parent_path().parent_path() / relative;
    if (present(installed)) return installed.string();
    fs::path folder = program.parent_path();
    for (int level = 0; level < 4 && folder.has_relative_path(); ++level, folder = folder.parent_path()) {
        if (present(folder / relative)) return (folder / relative).string();
    }
    return {};
}

}  // namespace

InstallEnvironment currentInstallEnvironment() {
    InstallEnvironment environment;
    std::error_code ignored;
    environment.programPath = fs::read_symlink("/proc/self/exe", ignored).string();
    environment.installRoot = paths::installRoot();
    const char* runner = std::getenv(paths::kPrivilegeRunnerVariable);
    environment.privilegeRunner = runner ? runner : "";
    environment.runningAsRoot = ::geteuid() == 0;
    return environment;
}

app::HelperInstallSetup detectHelperInstallSetup(const InstallEnvironment& environment, ProcessRunner& runner) {
    app::HelperInstallSetup setup;
    setup.runner = &runner;
    // Root runs the installation itself: pkexec would only fail where no
    // polkit authority runs, and has nothing to ask.
    if (!environment.privilegeRunner.empty()) {
        setup.privilegeRunner = environment.privilegeRunner;
    } else if (environment.runningAsRoot) {
        setup.privilegeRunner.clear();
    }
    fs::path program(environment.programPath);
    setup.sourceExecutable = sourceExecutable(program);
    setup.shippedScript = shippedScript(program);
    setup.allowedUid = ::getuid();

    fs::path system(environment.systemRoot);
    bool privateRoot = !environment.installRoot.empty();
    // A private root is never a service of the real systemd.
    setup.systemdRunning = !privateRoot && isDirectory(system / "run/systemd/system");
    // pkexec clears the environment, so the script could not see a private
    // root; such installations go through the composed command. Run without
    // a runner, the script keeps the environment and needs no polkit action.
    fs::path script = program.parent_path().parent_path() / "share/korvane/install_helper.sh";
    if (setup.privilegeRunner.empty()) {
        setup.installScript = setup.shippedScript;
    } else if (!privateRoot && present(script) && present(system / kPolicyFile)) {
        setup.installScript = script.string();
    }
    return setup;
}

}  // namespace korvane::linux_platform
