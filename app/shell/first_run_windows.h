#pragma once
// The two one-time windows shown before Korvane runs, as the delegate asks
// for them: the agreement (450 x 350 "Korvane", closable) and the setup
// (580 x 520 "Korvane Setup", no close button), both above other windows,
// centred and shown when made.
#include <QWidget>
#include <functional>
#include <memory>

#include "app/runtime/settings_store.h"
#include "app/ui/onboarding/onboarding_view.h"

namespace korvane::app {

struct FirstRunWindows {
    // `accept` runs once the view has recorded the acceptance; `quit` when the
    // user quits or closes the window without accepting.
    std::function<std::unique_ptr<QWidget>(std::function<void()> accept, std::function<void()> quit)> agreement;
    std::function<std::unique_ptr<QWidget>(std::function<void()> complete)> setup;
};

// The onboarding's windows: the agreement bound to the user's
// "hasAcceptedEULAv2", the setup installing with `setup`'s plan.
FirstRunWindows onboardingWindows(SettingsStore& settings, ui::OnboardingDependencies setup);

}  // namespace korvane::app
