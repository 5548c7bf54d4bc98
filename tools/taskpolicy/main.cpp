// taskpolicy: gives a process and its threads the background policy (-b) or
// takes it away (-B), or shows which CPUs are which kind (--topology).
//   exit 0   success
//   exit 1   the process cannot be changed (a kernel thread, a system error)
//   exit 3   no such process
//   exit 64  bad arguments
//   exit 77  permission denied
// A failure prints one line on standard output saying why.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/linux/machine/cpu_topology_reader.h"
#include "platform/linux/sched/taskpolicy_command.h"
#include "shared/paths/installed_paths.h"

using namespace korvane;

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    linux_platform::BackgroundPolicy policy(linux_platform::readCpuTopology(paths::sysfsRoot()));
    // Run on its own, the tool remembers nothing; a release then undoes
    // only what bears the background policy's marks.
    auto result = linux_platform::runTaskPolicyCommand(arguments, policy, nullptr);
    std::fwrite(result.output.data(), 1, result.output.size(), stdout);
    return result.exitStatus;
}
