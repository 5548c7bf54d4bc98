// Runs a program as systemd runs the helper's service: with the unit's
// capability bounding set, NoNewPrivileges and system call filter, all read
// from the unit file itself, so tests emulate the service in this one place
// and always the unit as it is. System call groups are expanded by
// systemd-analyze, as systemd expands them.
//
//   unit_sandbox UNIT_FILE PROGRAM [ARGUMENT...]
//
// Exits 2, running nothing, on a setting it cannot emulate.
#include <linux/capability.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
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

// In the kernel's order: a capability's number is its place here.
const char* const kCapabilities[] = {
    "CAP_CHOWN", "CAP_DAC_OVERRIDE", "CAP_DAC_READ_SEARCH", "CAP_FOWNER", "CAP_FSETID", "CAP_KILL", "CAP_SETGID",
    "CAP_SETUID", "CAP_SETPCAP", "CAP_LINUX_IMMUTABLE", "CAP_NET_BIND_SERVICE", "CAP_NET_BROADCAST", "CAP_NET_ADMIN",
    "CAP_NET_RAW", "CAP_IPC_LOCK", "CAP_IPC_OWNER", "CAP_SYS_MODULE", "CAP_SYS_RAWIO", "CAP_SYS_CHROOT",
    "CAP_SYS_PTRACE", "CAP_SYS_PACCT", "CAP_SYS_ADMIN", "CAP_SYS_BOOT", "CAP_SYS_NICE", "CAP_SYS_RESOURCE",
    "CAP_SYS_TIME", "CAP_SYS_TTY_CONFIG", "CAP_MKNOD", "CAP_LEASE", "CAP_AUDIT_WRITE", "CAP_AUDIT_CONTROL",
    "CAP_SETFCAP", "CAP_MAC_OVERRIDE", "CAP_MAC_ADMIN", "CAP_SYSLOG", "CAP_WAKE_ALARM", "CAP_BLOCK_SUSPEND",
    "CAP_AUDIT_READ", "CAP_PERFMON", "CAP_BPF", "CAP_CHECKPOINT_RESTORE"};
static_assert(std::size(kCapabilities) == CAP_CHECKPOINT_RESTORE + 1);

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

void limitCapabilities(const std::string& unit) {
    auto values = valuesOf(unit, "CapabilityBoundingSet");
    if (values.empty()) return;
    std::set<int> kept;
    for (const auto& value : values) {
        for (const auto& name : wordsOf(value)) {
            auto found = std::find(std::begin(kCapabilities), std::end(kCapabilities), name);
            if (found == std::end(kCapabilities)) fail("unknown capability " + name);
            kept.insert(static_cast<int>(found - std::begin(kCapabilities)));
        }
    }
    for (int cap = 0; cap <= CAP_LAST_CAP; ++cap) {
        if (!kept.contains(cap) && ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno != EINVAL) {
            fail("cannot drop capability " + std::to_string(cap));
        }
    }
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
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
    std::string unit = argv[1];
    limitCapabilities(unit);
    auto noNewPrivileges = valuesOf(unit, "NoNewPrivileges");
    if (!noNewPrivileges.empty() && noNewPrivileges.back() == "yes" && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        fail("cannot set NoNewPrivileges");
    }
    filterSystemCalls(unit);
    ::execv(argv[2], argv + 2);
    fail(std::string("cannot run ") + argv[2]);
}
