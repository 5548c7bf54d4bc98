#include "app/client/install_command.h"

#include "shared/paths/installed_paths.h"

namespace korvane::app {
namespace {

Expected<std::vector<std::string>, std::string> scriptInvocation(const HelperInstallSetup& setup,
                                                                 const std::string& root,
                                                                 std::vector<std::string> arguments) {
    if (setup.installScript.empty()) return unexpected(std::string("The helper's install script was not found."));
    std::vector<std::string> words;
    if (!setup.privilegeRunner.empty()) words.push_back(setup.privilegeRunner);
    if (!root.empty()) {
        words.insert(words.end(), {"/usr/bin/env", std::string(paths::kInstallRootVariable) + "=" + root});
    }
    words.push_back(setup.installScript);
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

// A word as a person would type it: bare when the shell reads it as it is,
// else single-quoted with any quote inside closed, escaped and reopened.
std::string typedWord(std::string_view text) {
    bool plain = !text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                         "0123456789_./+-:,@=") == std::string_view::npos;
    if (plain) return std::string(text);
    std::string word = "'";
    for (char c : text) {
        if (c == '\'') {
            word += "'\\''";
        } else {
            word += c;
        }
    }
    return word + "'";
}

}  // namespace

std::string InstalledFiles::tool() const { return root + std::string(paths::kHelperExecutable); }
std::string InstalledFiles::unit() const { return root + std::string(paths::kHelperServiceFile); }
std::string InstalledFiles::runDirectory() const { return root + std::string(paths::kSocketDirectory); }
std::string InstalledFiles::pidFile() const { return runDirectory() + "/" + std::string(paths::kServiceName) + ".pid"; }
std::string InstalledFiles::logFile() const { return runDirectory() + "/" + std::string(paths::kServiceName) + ".log"; }
std::string InstalledFiles::socket() const { return root + std::string(paths::kSocketPath); }

Expected<std::vector<std::string>, std::string> helperInstallInvocation(const HelperInstallSetup& setup,
                                                                        const std::string& root) {
    return scriptInvocation(setup, root, {setup.sourceExecutable, std::to_string(setup.allowedUid)});
}

Expected<std::vector<std::string>, std::string> helperRemoveInvocation(const HelperInstallSetup& setup,
                                                                       const std::string& root) {
    return scriptInvocation(setup, root, {"--remove"});
}

Expected<std::string, std::string> terminalInstallCommand(const HelperInstallSetup& setup, const std::string& root) {
    HelperInstallSetup direct = setup;
    direct.privilegeRunner.clear();
    auto words = helperInstallInvocation(direct, root);
    if (!words) return unexpected(words.error());
    std::string line = "sudo";
    for (const std::string& word : *words) {
        // Two appends: `" " + typedWord(word)` trips GCC 12's false -Wrestrict
        // in optimised builds.
        line += ' ';
        line += typedWord(word);
    }
    return line;
}

}  // namespace korvane::app
