#include "app/shell/onboarding_views.h"

#include "app/ui/onboarding/eula_view.h"

namespace korvane::app {

FirstRunViews onboardingViews(SettingsStore& settings, ui::OnboardingDependencies setup) {
    return FirstRunViews{
        [&settings](std::function<void()> accept, std::function<void()> quit) -> QWidget* {
            return new ui::EULAView(ui::AgreementSetting::inSettings(settings), std::move(accept), std::move(quit));
        },
        [setup = std::move(setup)](std::function<void()> complete) -> QWidget* {
            return new ui::OnboardingView(std::move(complete), setup);
        }};
}

}  // namespace korvane::app
