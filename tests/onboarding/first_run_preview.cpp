// The two first-run windows as the shell will host them, for the test on a
// real X server with a window manager: the agreement first; accepting opens
// the setup window. Exit status 3 when the agreement window quits, 0 when
// setup completes. Prints "accepted" when the agreement is accepted.
#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/ui/onboarding/first_run_windows.h"
#include "platform/linux/machine/system_summary_reader.h"
#include "shared/paths/installed_paths.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool accepted = false;
    std::unique_ptr<korvane::ui::AgreementWindow> agreement;
    std::unique_ptr<korvane::ui::SetupWindow> setup;
    korvane::ui::AgreementSetting setting{[&] { return accepted; },
                                          [&](bool value) { accepted = value; }};
    agreement = std::make_unique<korvane::ui::AgreementWindow>(
        setting,
        [&] {
            std::printf("accepted\n");
            std::fflush(stdout);
            agreement->close();
            setup = std::make_unique<korvane::ui::SetupWindow>(
                [] { QApplication::exit(0); },
                korvane::ui::OnboardingDependencies::forThisMachine(
                    korvane::linux_platform::readSystemSummary(korvane::paths::sysfsRoot(), "/proc")));
            setup->present();
        },
        [] { QApplication::exit(3); });
    agreement->present();
    return app.exec();
}
