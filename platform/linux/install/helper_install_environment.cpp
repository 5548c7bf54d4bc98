#include "platform/linux/install/helper_install_environment.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "shared/paths/installed_paths.h"

namespace korvane::linux_platform {
namespace {

namespace fs = std::filesystem;

bool present(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

bool isDirectory(const fs::path& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

struct Shipped {
    fs::path helper;
    fs::path script;
};

// The build tree's top folder, a few folders above the program, recognised
// by `marker` below it; empty outside a build tree.
fs::path buildTreeHolding(const fs::path& program, const fs::path& marker) {
    fs::path folder = program.parent_path();
    for (int level = 0; level < 4 && folder.has_relative_path(); ++level, folder = folder.parent_path()) {
        if (present(folder / marker)) return folder;
    }
    return {};
}

// Installed, the helper and the script sit in <prefix>/lib/korvane and
// <prefix>/share/korvane beside <prefix>/bin/korvane; in a build tree they are
// the helper target's output and the packaging folder's copy of the script, a
// few folders up.
Shipped shippedFiles(const fs::path& program) {
    fs::path prefix = program.parent_path().parent_path();
    Shipped installed{prefix / "lib/korvane" / paths::kServiceName, prefix / "share/korvane/install_helper.sh"};
    if (present(installed.helper)) return installed;
    const fs::path built = buildTreeHolding(program, fs::path("helper") / paths::kServiceName);
    if (!built.empty()) return {built / "helper" / paths::kServiceName, built / "packaging/install_helper.sh"};
    return installed;
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
    // Root runs the script itself: pkexec has nothing to ask, and fails where
    // no polkit authority runs. A test's stand-in still takes its place.
    if (!environment.privilegeRunner.empty()) {
        setup.privilegeRunner = environment.privilegeRunner;
    } else if (environment.runningAsRoot) {
        setup.privilegeRunner.clear();
    }
    Shipped shipped = shippedFiles(fs::path(environment.programPath));
    setup.sourceExecutable = shipped.helper.string();
    if (present(shipped.script)) setup.installScript = shipped.script.string();
    setup.allowedUid = ::getuid();
    // A private root is never a service of the real systemd.
    setup.systemdRunning =
        environment.installRoot.empty() && isDirectory(fs::path(environment.systemRoot) / "run/systemd/system");
    return setup;
}

std::string shippedIconFolder(const std::string& programPath, const std::string& themedIcon) {
    const fs::path program(programPath);
    const fs::path installed = program.parent_path().parent_path() / "share/icons";
    if (present(installed / themedIcon)) return installed.string();
    // A build tree keeps its data where an installation would, under share/.
    const fs::path built = buildTreeHolding(program, fs::path("share/icons") / themedIcon);
    return built.empty() ? std::string() : (built / "share/icons").string();
}

}  // namespace korvane::linux_platform
