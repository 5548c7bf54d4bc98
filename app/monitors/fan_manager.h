#pragma once
// FanManager: the application's view of the machine's cooling. It reads fan 0
// and the CPU temperature through the SMC bridge (read-only in this process),
// publishes them for the interface, and changes the fan only through the
// helper. It carries the one safety rule: a manual speed below 2500 RPM is
// raised to 2500 RPM while the CPU is hotter than 85 °C.
//
// Polling: 3 s while the popover is visible, 15 s while it is hidden, 10 s
// from the fourth failed poll in a row, stopped at the eleventh connection
// failure in a row until startPolling() is called again. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/client/xpc_manager.h"
#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "app/runtime/published.h"
#include "shared/mainloop/main_loop.h"
#include "shared/smc/smc_error.h"
#include "shared/util/expected.h"

namespace korvane::app {

class FanManager {
public:
    struct Dependencies {
        MainLoop& mainLoop;
        XPCManager& xpcManager;
    };

    static constexpr float safetyTempThreshold = 85.0f;  // °C
    static constexpr std::int64_t safetyRPMFloor = 2500;
    static constexpr std::int64_t maxConsecutiveFails = 10;
    static constexpr double normalPollInterval = 3.0;       // popover visible
    static constexpr double slowPollInterval = 10.0;        // more than 3 failures in a row
    static constexpr double backgroundPollInterval = 15.0;  // popover hidden

    // Reads the initial values, then starts polling (at 15 s: the popover has
    // not been shown yet).
    explicit FanManager(Dependencies dependencies);
    // Stops polling; safety raises still waiting for the helper are dropped.
    ~FanManager();
    FanManager(const FanManager&) = delete;
    FanManager& operator=(const FanManager&) = delete;

    Published<std::int64_t> currentRPM{0};
    Published<std::int64_t> targetRPM{0};
    Published<std::int64_t> minRPM{1200};
    Published<std::int64_t> maxRPM{6000};
    Published<bool> isManualMode{false};
    Published<float> cpuTemperature{0.0f};  // °C; 0 or less when none could be read
    Published<bool> hasFans{false};
    Published<std::int64_t> fanCount{0};
    Published<std::optional<std::string>> safetyWarning;
    Published<std::optional<std::string>> lastReadError;
    Published<bool> isSmcConnected{false};

    // Written by the popover when it is shown or hidden; it calls
    // startPolling() after each change.
    bool isViewVisible = false;

    // (Re)starts the polling timer at the period the state calls for.
    void startPolling();
    // Cancels the polling timer until startPolling() is called again (at exit).
    void stopPolling();
    // The period polling runs at; absent while stopped.
    std::optional<double> pollingInterval() const;

    // Switches fan 0 between automatic and manual through the helper. Manual
    // starts at the speed the fan is turning at, clamped and safety-raised.
    Async<> toggleManualMode(bool enabled);
    // Sets fan 0's target through the helper, after the safety raise and
    // clamping to [minRPM, maxRPM] (the lower bound wins if they cross).
    Async<> setTargetRPM(std::int64_t requested);

private:
    void setupInitialValues();
    void refreshData();
    void checkSafety();
    // The fan's actual speed, read now; the published one may be a poll old.
    void refreshCurrentRPM();
    // One failed poll: counts it, publishes `error`, and slows polling at the fourth.
    void noteReadFailure(SMCError error);

    MainLoop& loop_;
    XPCManager& xpcManager_;
    std::shared_ptr<Lifeline> lifeline_;
    Timer timer_;
    std::optional<double> interval_;
    std::int64_t consecutiveFailCount_ = 0;
};

// A key's value as a whole number (RPM, fan count), truncated toward zero.
// A reading that is not finite or beyond the 64-bit range is a failed read.
Expected<std::int64_t, SMCError> readWholeSMCValue(std::string_view key);
// A key's value, failed when it is not finite.
Expected<float, SMCError> readFiniteSMCValue(std::string_view key);

// The user-facing text of an SMC failure.
std::string localizedSMCError(SMCError error);

}  // namespace korvane::app
