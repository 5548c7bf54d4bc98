#pragma once
// The helper's process-table scans: which processes are application
// processes and which application each belongs to. An application process is
// a process with an application identity (its desktop application ID), other
// than the helper itself and pid 1; kernel threads never appear in the
// listing.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "helper/origin_memo.h"
#include "helper/process_scanner.h"
#include "shared/identity/app_identity.h"
#include "shared/process/process_entry.h"
#include "shared/util/expected.h"

namespace korvane::helper {

struct ProcessInfoDependencies {
    // The process table, or why it could not be read.
    std::function<Expected<std::vector<ProcessEntry>, std::string>()> table;
    identity::ProcessIdentity& identity;
    // The parent and the cgroup of a process, if it is still there.
    std::function<std::optional<std::int32_t>(std::int32_t pid)> parentOf;
    std::function<std::optional<std::string>(std::int32_t pid)> cgroupOf;
    std::int32_t selfPID;
    // Whether a process of application `appID` is the desktop's own (its
    // display server, window manager, panel...): Beast Mode never throttles
    // it. None: no process is.
    std::function<bool(std::int32_t pid, const std::string& appID)> partOfDesktop = {};
    // The clock that tells when a process's origin has settled; the steady
    // clock when left empty.
    OriginMemo::Clock now = {};
};

class ProcessInfo final : public ProcessScanner {
public:
    explicit ProcessInfo(ProcessInfoDependencies deps);

    // Every application process but `excludingPID`, the processes of the
    // focus application below it, the processes above it whose policy would
    // reach it (the taskpolicy tool gives a process's descendants in its
    // cgroup its policy too), and the desktop's own processes.
    std::vector<std::int32_t> guiAppPIDs(std::int32_t excludingPID, ProcessFamily* family = nullptr) override;
    std::vector<JailMatch> pidsForBundleIDs(const std::set<std::string>& bundleIDs,
                                            ProcessFamily* family = nullptr) override;

    // The application ID an application path (where an identity comes from)
    // gives.
    std::optional<std::string> readBundleID(const identity::AppOrigin& appPath);

private:
    // The processes with a command line, each pid once, in table order;
    // nothing when the table could not be read. `family` gets the whole table.
    std::optional<std::vector<ProcessEntry>> takeTable(ProcessFamily* family);
    std::optional<identity::AppOrigin> originOf(const ProcessEntry& entry, std::uint64_t generation);
    void forgetUnlisted(const std::vector<ProcessEntry>& entries);
    bool isApplicationCandidate(std::int32_t pid) const { return pid > 1 && pid != deps_.selfPID; }
    bool descendsFrom(std::int32_t pid, std::int32_t ancestor);
    std::set<std::int32_t> ancestorsReaching(std::int32_t pid);

    ProcessInfoDependencies deps_;
    OriginMemo memo_;
};

}  // namespace korvane::helper
