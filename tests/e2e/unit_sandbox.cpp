// Runs a program as systemd runs the helper's service: with the unit's
// capability bounding set, NoNewPrivileges and system call filter, all read
// from the unit file itself, so tests emulate the service in this one place
// and always the unit as it is. System call groups are expanded by
// systemd-analyze, as systemd expands them; setpriv sets the rest.
//
//   unit_sandbox UNIT_FILE PROGRAM [ARGUMENT...]
//
// Exits 2, running nothing, on a setting it cannot emulate.
#include <seccomp.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "unit_sandbox: %s\n", why.c_str());
    std::exit(2);
}

const std::map<std::string, int> kErrorNumbers = {{"EPERM", EPERM}, {"EACCES", EACCES}, {"ENOSYS", ENOSYS}};

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// Every value of `key` in the unit's [Service] section, in order.
std::vector<std::string> valuesOf(const std::string& unitPath, const std::string& key) {
    std::ifstream unit(unitPath);
    if (!unit) fail("cannot read " + unitPath);
    std::vector<std::string> values;
    bool inService = false;
    for (std::string line; std::getline(unit, line);) {
        if (line.starts_with("[")) inService = line == "[Service]";
        if (inService && line.starts_with(key + "=")) values.push_back(line.substr(key.size() + 1));
    }
    return values;
}

// Each group systemd knows and its members (names and further groups).
std::map<std::string, std::vector<std::string>> syscallGroups() {
    FILE* listing = ::popen("systemd-analyze syscall-filter 2>/dev/null", "r");
    if (!listing) fail("cannot run systemd-analyze");
    std::map<std::string, std::vector<std::string>> groups;
    std::string current;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, listing)) {
        auto words = wordsOf(buffer);
        if (words.empty() || words.front().starts_with("#")) continue;
        if (buffer[0] == '@') current = words.front();
        else if (!current.empty()) groups[current].push_back(words.front());
    }
    if (::pclose(listing) != 0 || groups.empty()) fail("systemd-analyze listed no system call groups");
    return groups;
}

void expand(const std::string& item, const std::map<std::string, std::vector<std::string>>& groups,
            std::set<std::string>& names) {
    if (!item.starts_with("@")) {
        names.insert(item);
        return;
    }
    auto group = groups.find(item);
    if (group == groups.end()) fail("unknown system call group " + item);
    for (const auto& member : group->second) expand(member, groups, names);
}

// setpriv, to set the bounding set and NoNewPrivileges and run the program.
std::vector<std::string> setprivFor(const std::string& unit) {
    std::vector<std::string> argv{"/usr/bin/setpriv"};
    if (auto values = valuesOf(unit, "CapabilityBoundingSet"); !values.empty()) {
        std::string kept = "-all";
        for (const auto& value : values) {
            for (std::string name : wordsOf(value)) {
                if (!name.starts_with("CAP_")) fail("unknown capability " + name);
                for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                kept += ",+" + name.substr(4);
            }
        }
        argv.push_back("--bounding-set=" + kept);
    }
    if (auto values = valuesOf(unit, "NoNewPrivileges"); !values.empty() && values.back() == "yes") {
        argv.push_back("--no-new-privs");
    }
    argv.push_back("--");
    return argv;
}

void filterSystemCalls(const std::string& unit) {
    auto filters = valuesOf(unit, "SystemCallFilter");
    if (filters.empty()) return;
    // A filter without an error number kills instead of failing the call.
    auto numbers = valuesOf(unit, "SystemCallErrorNumber");
    auto error = numbers.empty() ? kErrorNumbers.end() : kErrorNumbers.find(numbers.back());
    if (error == kErrorNumbers.end()) fail("cannot emulate this SystemCallErrorNumber");
    if (auto architectures = valuesOf(unit, "SystemCallArchitectures");
        !architectures.empty() && architectures.back() != "native") {
        fail("cannot emulate SystemCallArchitectures=" + architectures.back());
    }
    auto groups = syscallGroups();
    std::set<std::string> allowed;
    for (const auto& filter : filters) {
        if (filter.starts_with("~")) fail("cannot emulate a deny list: " + filter);
        for (const auto& item : wordsOf(filter)) expand(item, groups, allowed);
    }
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ERRNO(static_cast<std::uint32_t>(error->second)));
    if (!filter) fail("seccomp_init failed");
    for (const auto& name : allowed) {
        int number = ::seccomp_syscall_resolve_name(name.c_str());
        // Names of other architectures, as systemd skips them.
        if (number == __NR_SCMP_ERROR) continue;
        if (::seccomp_rule_add(filter, SCMP_ACT_ALLOW, number, 0) != 0) fail("cannot allow " + name);
    }
    if (::seccomp_load(filter) != 0) fail("cannot load the system call filter");
    ::seccomp_release(filter);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) fail("usage: unit_sandbox UNIT_FILE PROGRAM [ARGUMENT...]");
    std::vector<std::string> command = setprivFor(argv[1]);
    command.insert(command.end(), argv + 2, argv + argc);
    // The filter first, while this process may still load one; setpriv's own
    // few calls are among those every service may make.
    filterSystemCalls(argv[1]);
    std::vector<char*> words;
    for (auto& word : command) words.push_back(word.data());
    words.push_back(nullptr);
    ::execv(words[0], words.data());
    fail("cannot run " + command[0]);
}
