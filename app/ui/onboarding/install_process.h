#pragma once
// Running the privileged installation: the setup window's one way to the
// outside. The Linux implementation is QtInstallProcess; tests may use any.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/ui/onboarding/install_outcome.h"
#include "app/ui/onboarding/install_plan.h"

namespace korvane::app {

class InstallProcess {
  public:
    struct Handlers {
        // Standard output as it arrives, in pieces of any size.
        std::function<void(std::string_view chunk)> output;
        // Once, after the last output: the status and all of standard error.
        std::function<void(InstallExit exit)> finished;
    };

    virtual ~InstallProcess() = default;

    // Starts `command`; the handlers run later, on the main thread. When the
    // program cannot be started, returns the reason and never calls them.
    virtual std::optional<std::string> start(const InstallCommand& command, Handlers handlers) = 0;
};

}  // namespace korvane::app
