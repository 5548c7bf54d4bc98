#include "app/shell/first_run_windows.h"

#include "app/ui/onboarding/first_run_windows.h"

namespace korvane::app {

FirstRunWindows onboardingWindows(SettingsStore& settings, ui::OnboardingDependencies setup) {
    return FirstRunWindows{
        [&settings](std::function<void()> accept, std::function<void()> quit) -> std::unique_ptr<QWidget> {
            auto window = std::make_unique<ui::AgreementWindow>(ui::AgreementSetting::inSettings(settings),
                                                                std::move(accept), std::move(quit));
            window->present();
            return window;
        },
        [setup = std::move(setup)](std::function<void()> complete) -> std::unique_ptr<QWidget> {
            // No close button; a window manager's close request is refused.
            auto window = std::make_unique<ui::SetupWindow>(std::move(complete), setup);
            window->present();
            return window;
        }};
}

}  // namespace korvane::app
