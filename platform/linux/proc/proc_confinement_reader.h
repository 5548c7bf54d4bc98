#pragma once
// What /proc says is confined: every process whose main thread runs
// SCHED_IDLE, the mark the background policy leaves, with the CPUs it may
// use and its ancestry. Reading other users' stat and status lines needs no
// privilege (unless /proc hides other users' processes, and then only the
// user's own are seen).
#include <string>

#include "app/throttled/confinement_reader.h"
#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {

class ProcConfinementReader final : public app::ConfinementReader {
public:
    explicit ProcConfinementReader(std::string procRoot = "/proc");
    Expected<std::vector<app::ConfinedProcess>, std::string> readConfined() override;

private:
    std::string root_;
};

// The value of "Cpus_allowed_list:" in a /proc/PID/status text; empty when absent.
std::string allowedCpusOf(std::string_view status);

}  // namespace korvane::linux_platform
