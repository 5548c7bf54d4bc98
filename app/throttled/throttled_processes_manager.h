#pragma once
// ThrottledProcessesManager: the processes confined at this moment and why.
// The machine (through ConfinementReader) says which processes run under the
// background policy; Korvane's managers say what they confined: focus mode
// the pids the helper client recorded, the jail its listed applications
// while they run, Beast Mode everything else while it is on. A process
// counts for a reason when it, or one of its ancestors, was confined for it.
// What nothing of Korvane's explains is listed without a reason (an earlier
// session's leftovers, or another program's doing). Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "app/runtime/task.h"
#include "app/throttled/confinement_reader.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class AppManager;
class AutoTriggerManager;
class ECoreJailManager;
class XPCManager;

enum ThrottleReason : unsigned {
    kThrottledForFocus = 1U << 0,
    kThrottledForBeastMode = 1U << 1,
    kThrottledForJail = 1U << 2,
};

struct ThrottledProcess {
    std::int32_t pid = 0;
    std::string name;
    std::string cpus;
    unsigned reasons = 0;  // ThrottleReason bits; 0 when nothing of Korvane's explains it
    friend bool operator==(const ThrottledProcess&, const ThrottledProcess&) = default;
};

// What Korvane's managers confined, as the attribution needs it.
struct ThrottleCauses {
    std::set<std::int32_t> focusPIDs;
    std::set<std::int32_t> jailedAppPIDs;  // running applications on the jail's list
    bool beastModeActive = false;
};

class ThrottledProcessesManager {
public:
    static constexpr Duration kWatchInterval = std::chrono::seconds(2);

    struct Dependencies {
        MainLoop& mainLoop;
        ConfinementReader& reader;  // outlives the manager
        std::weak_ptr<AppManager> appManager;
        std::weak_ptr<XPCManager> xpcManager;
        std::weak_ptr<AutoTriggerManager> autoTriggerManager;
        const ECoreJailManager* eCoreJailManager = nullptr;  // outlives the manager when given
    };

    explicit ThrottledProcessesManager(Dependencies dependencies);
    ~ThrottledProcessesManager();
    ThrottledProcessesManager(const ThrottledProcessesManager&) = delete;
    ThrottledProcessesManager& operator=(const ThrottledProcessesManager&) = delete;

    Published<std::vector<ThrottledProcess>> processes;
    // Why the last reading failed; nothing after one that worked.
    Published<std::optional<std::string>> readError;
    // Why the last releaseAll failed, until the next one.
    Published<std::optional<std::string>> releaseError;
    Published<bool> isReleasing{false};

    // Reads the machine once more.
    void refresh();
    // Refreshes now and every kWatchInterval until stopWatching (while a view shows the list).
    void startWatching();
    void stopWatching();

    // Gives every process the helper holds its cores back: focus mode ends
    // through its own release sequence, then the helper releases the rest
    // (Beast Mode's and the jail's). A running jail confines its
    // applications again at its next scan.
    TaskHandle releaseAll();

    // The list the two sources make, in the reader's order; the names of
    // listed applications replace the kernel's short command names, and name
    // the application a process descends from.
    using AppNames = std::vector<std::pair<std::int32_t, std::string>>;
    static std::vector<ThrottledProcess> attribute(const std::vector<ConfinedProcess>& confined,
                                                   const ThrottleCauses& causes, const AppNames& appNames = {});

private:
    ThrottleCauses currentCauses() const;

    MainLoop& loop_;
    ConfinementReader& reader_;
    std::weak_ptr<AppManager> appManager_;
    std::weak_ptr<XPCManager> xpcManager_;
    std::weak_ptr<AutoTriggerManager> autoTriggerManager_;
    const ECoreJailManager* eCoreJailManager_;
    std::shared_ptr<Lifeline> lifeline_;
    Timer watchTimer_;
};

}  // namespace korvane::app
