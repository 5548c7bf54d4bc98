#pragma once
// The first-run windows' real content: the agreement (EULAView) bound to the
// user's settings, and the setup (OnboardingView) that installs the helper.
#include "app/runtime/settings_store.h"
#include "app/shell/first_run_window.h"
#include "app/ui/onboarding/onboarding_view.h"

namespace korvane::app {

FirstRunViews onboardingViews(SettingsStore& settings, ui::OnboardingDependencies setup);

}  // namespace korvane::app
