#include "app/client/install_command.h"

#include <optional>

#include "shared/paths/installed_paths.h"

namespace korvane::app {

extern const char* const kHelperUnitTemplate;

namespace {

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// A path as one word of a unit's command line: systemd splits at white space
// and expands '%' and '$', so anything unusual goes in double quotes.
std::string unitWord(std::string_view path) {
    if (path.find_first_of(" \t\"\\%$'") == std::string_view::npos) return std::string(path);
    std::string word = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') word += '\\';
        if (c == '%') word += '%';
        if (c == '$') word += '$';
        word += c;
    }
    return word + "\"";
}

// A pid file may be stale and its number reused, so only a process whose
// argv[0] is still our tool is stopped; a zombie's empty command line ends the
// wait as well as an exit does.
std::string stopStartedHelper(const InstalledFiles& files) {
    std::string pidFile = shellWord(files.pidFile());
    return "p=$(cat " + pidFile + " 2>/dev/null); case \"$p\" in ''|*[!0-9]*) ;; *) " +
           "running() { [ \"$(tr '\\0' '\\n' < /proc/$p/cmdline 2>/dev/null | head -n 1)\" = " +
           shellWord(files.tool()) + " ]; }; " +
           "if running; then kill \"$p\"; i=0; while running && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done; "
           "running && kill -9 \"$p\"; fi;; esac; rm -f " +
           pidFile + "; ";
}

// 126 and 127 are the privilege runner's own (dismissed, not authorized); a
// step that fails with either must not pass for them.
std::string withOwnExitStatus(const std::string& steps) {
    return "{ " + steps + "; }; s=$?; if [ $s -eq 126 ] || [ $s -eq 127 ]; then s=1; fi; exit $s";
}

// The runner, when there is one, then `words`.
std::vector<std::string> underRunner(const HelperInstallSetup& setup, std::vector<std::string> words) {
    if (!setup.privilegeRunner.empty()) words.insert(words.begin(), setup.privilegeRunner);
    return words;
}

// A word as a person would type it: bare when the shell reads it as it is.
std::string typedWord(std::string_view text) {
    bool plain = !text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                         "0123456789_./+-:,@=") == std::string_view::npos;
    return plain ? std::string(text) : shellWord(text);
}

std::optional<std::string> refusal(std::initializer_list<std::string_view> paths) {
    for (auto path : paths) {
        if (path.find('\'') != std::string_view::npos) {
            return "Cannot install from or to a path containing a single quote: " + std::string(path);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string InstalledFiles::tool() const { return root + std::string(paths::kHelperExecutable); }
std::string InstalledFiles::unit() const { return root + std::string(paths::kHelperServiceFile); }
std::string InstalledFiles::runDirectory() const { return root + std::string(paths::kSocketDirectory); }
std::string InstalledFiles::pidFile() const { return runDirectory() + "/" + std::string(paths::kServiceName) + ".pid"; }
std::string InstalledFiles::logFile() const { return runDirectory() + "/" + std::string(paths::kServiceName) + ".log"; }
std::string InstalledFiles::socket() const { return root + std::string(paths::kSocketPath); }

std::string helperUnitText(std::string_view helperPath, std::uint32_t allowedUid) {
    std::string text = replaceAll(kHelperUnitTemplate, "@HELPER_PATH@", unitWord(helperPath));
    return replaceAll(std::move(text), "@ALLOWED_UID@", std::to_string(allowedUid));
}

std::string shellWord(std::string_view text) {
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

Expected<std::string, std::string> composeInstallCommand(const HelperInstallPlan& plan, std::string_view unitText) {
    const InstalledFiles& files = plan.files;
    if (auto refused = refusal({plan.source, files.tool(), files.unit()})) return unexpected(*refused);
    std::string tool = shellWord(files.tool());
    std::string unit = shellWord(files.unit());

    std::string command;
    if (plan.systemd) command += "/bin/systemctl disable --now " + std::string(paths::kUnitName) + " >/dev/null 2>&1; ";
    command += stopStartedHelper(files);
    command += "/bin/mkdir -p " + shellWord(folderOf(files.tool())) + " " + shellWord(folderOf(files.unit())) + " && ";
    // Installed in place (cmake --install with the default prefix), the
    // source is already the tool and copying it onto itself would fail.
    command += plan.source == files.tool() ? "[ -f " + tool + " ] && " : "/bin/cp -f " + shellWord(plan.source) + " " + tool + " && ";
    command += "/bin/chmod 544 " + tool + " && ";
    command += "/bin/chown root:root " + tool + " && ";
    // printf, not echo: dash's echo would turn the unit's backslashes into escapes.
    command += "printf '%s' " + shellWord(unitText) + " > " + unit + " && ";
    command += "/bin/chmod 644 " + unit + " && ";
    command += "/bin/chown root:root " + unit + " && ";
    if (plan.systemd) {
        command += "/bin/systemctl daemon-reload && /bin/systemctl enable --now " + std::string(paths::kUnitName);
    } else {
        std::string runDirectory = shellWord(files.runDirectory());
        command += "/bin/mkdir -p " + runDirectory + " && /bin/chmod 0755 " + runDirectory + " && ";
        // A private root gets a private socket; the real one is the helper's default.
        if (!files.root.empty()) {
            command += std::string(paths::kSocketOverrideVariable) + "=" + shellWord(files.socket()) + " ";
        }
        command += "/usr/bin/setsid -f /bin/sh -c 'echo $$ > \"$0\" && exec \"$1\" --allow-uid=" +
                   std::to_string(plan.allowedUid) + "' " + shellWord(files.pidFile()) + " " + tool +
                   " < /dev/null >> " + shellWord(files.logFile()) + " 2>&1";
    }
    if (plan.announceSuccess) command += " && echo 'SUCCESS:Done'";
    return withOwnExitStatus(command);
}

Expected<std::string, std::string> composeRemoveCommand(const InstalledFiles& files, bool systemd) {
    if (auto refused = refusal({files.tool(), files.unit()})) return unexpected(*refused);
    std::string command;
    if (systemd) command += "/bin/systemctl disable --now " + std::string(paths::kUnitName) + " >/dev/null 2>&1; ";
    command += stopStartedHelper(files);
    command += "/bin/rm -f " + shellWord(files.unit()) + " " + shellWord(files.tool());
    if (systemd) command += " && { /bin/systemctl daemon-reload || true; }";
    return withOwnExitStatus(command);
}

Expected<std::vector<std::string>, std::string> helperInstallInvocation(const HelperInstallSetup& setup,
                                                                        const std::string& root,
                                                                        bool announceSuccess) {
    if (!setup.installScript.empty()) {
        // The polkit action names the script, so it must be what pkexec runs.
        return underRunner(setup, {setup.installScript, setup.sourceExecutable, std::to_string(setup.allowedUid)});
    }
    InstalledFiles files{root};
    HelperInstallPlan plan{setup.sourceExecutable, files, setup.allowedUid, setup.systemdRunning, announceSuccess};
    auto command = composeInstallCommand(plan, helperUnitText(files.tool(), setup.allowedUid));
    if (!command) return unexpected(command.error());
    return underRunner(setup, {"/bin/sh", "-c", *command});
}

Expected<std::vector<std::string>, std::string> helperRemoveInvocation(const HelperInstallSetup& setup,
                                                                       const std::string& root) {
    if (!setup.installScript.empty()) {
        return underRunner(setup, {setup.installScript, "--remove"});
    }
    auto command = composeRemoveCommand(InstalledFiles{root}, setup.systemdRunning);
    if (!command) return unexpected(command.error());
    return underRunner(setup, {"/bin/sh", "-c", *command});
}

Expected<std::string, std::string> terminalInstallCommand(const HelperInstallSetup& setup, const std::string& root) {
    std::vector<std::string> words;
    if (!setup.shippedScript.empty()) {
        words = {setup.shippedScript, setup.sourceExecutable, std::to_string(setup.allowedUid)};
    } else {
        InstalledFiles files{root};
        HelperInstallPlan plan{setup.sourceExecutable, files, setup.allowedUid, setup.systemdRunning, false};
        auto command = composeInstallCommand(plan, helperUnitText(files.tool(), setup.allowedUid));
        if (!command) return unexpected(command.error());
        words = {"/bin/sh", "-c", *command};
    }
    std::string line = "sudo";
    for (const std::string& word : words) {
        // Two appends: `" " + typedWord(word)` trips GCC 12's false -Wrestrict
        // in optimised builds.
        line += ' ';
        line += typedWord(word);
    }
    return line;
}

}  // namespace korvane::app
