// The setup pages' logic with a scripted installation. How each page looks
// (labels, which buttons show) is pinned by the render references.
#include <gtest/gtest.h>

#include <QLabel>

#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;
using testing::shown;

class OnboardingPages : public ::testing::Test {
  protected:
    OnboardingPages() {
        dependencies.findRunningHelper = [this](std::function<void(bool)> done) {
            ++looks;
            done(answers);
        };
        dependencies.terminalCommand = "sudo /opt/share/korvane/install_helper.sh /opt/helper 1000";
    }
    // The install page, with the installation started.
    std::unique_ptr<OnboardingView> installing() {
        auto view = std::make_unique<OnboardingView>([this] { ++completions; }, dependencies);
        view->setCurrentStep(OnboardingView::kInstallStep);
        button(*view, "installButton")->click();
        return view;
    }

    std::shared_ptr<testing::ScriptedInstall::Shared> install = std::make_shared<testing::ScriptedInstall::Shared>();
    OnboardingDependencies dependencies = testing::scriptedDependencies(install);
    int completions = 0;
    bool answers = false;  // whether a running helper answers
    int looks = 0;
};

TEST_F(OnboardingPages, BackSkipAndOneInstallationAtATime) {
    OnboardingView view([this] { ++completions; }, dependencies);
    button(view, "forwardButton")->click();
    button(view, "forwardButton")->click();
    button(view, "backButton")->click();
    EXPECT_EQ(view.currentStep(), 1);
    button(view, "skipButton")->click();
    EXPECT_EQ(view.currentStep(), OnboardingView::kInstallStep);
    button(view, "forwardButton")->click();  // hidden, and does nothing before success
    EXPECT_EQ(view.currentStep(), OnboardingView::kInstallStep);

    // While it runs there is no way back, and a second press starts nothing.
    button(view, "installButton")->click();
    EXPECT_EQ(view.installState(), InstallState::installing);
    EXPECT_FALSE(shown(button(view, "backButton")));
    EXPECT_TRUE(shown(view.findChild<QWidget*>(QStringLiteral("installBusy"))));
    button(view, "installButton")->click();
    EXPECT_EQ(install->starts, 1);
    // On from a successful installation to the launch: the first-run desktop test.
}

// A helper already answering (started by hand, by a script, or by an earlier
// installation) is used as it is after a failure.
TEST_F(OnboardingPages, AHelperAnsweringAfterAFailedInstallationIsUsed) {
    auto view = installing();
    answers = true;
    install->handlers.finished({1, "cp: Read-only file system"});
    EXPECT_EQ(looks, 2);
    EXPECT_EQ(view->installState(), InstallState::success);
    EXPECT_EQ(view->installError(), std::nullopt);
    EXPECT_TRUE(shown(button(*view, "forwardButton")));
}

// Only a runner that could not ask (127) leads to the terminal command and
// Check again; the first-run desktop test runs the command and presses Check
// again once a helper answers. Before that it finds none and installs nothing.
TEST_F(OnboardingPages, OnlyARunnerThatCannotAskLeadsToTheTerminalCommand) {
    std::unique_ptr<OnboardingView> view;
    for (int status : {126, 1, 127}) {
        view = installing();
        install->handlers.finished({status, "Error getting authority: Could not connect"});
        EXPECT_EQ(shown(view->findChild<QWidget*>(QStringLiteral("terminalBox"))), status == 127) << status;
    }
    button(*view, "checkAgainButton")->click();
    EXPECT_EQ(view->installState(), InstallState::failed);
    EXPECT_EQ(install->starts, 3) << "Check again ran the installation";
}

// Only a systemd service starts again at boot; elsewhere the page says so.
TEST_F(OnboardingPages, TheBootPromiseHoldsOnlyWithSystemd) {
    for (bool systemd : {true, false}) {
        dependencies.systemdRunning = systemd;
        OnboardingView page([] {}, dependencies);
        bool promised = false;
        for (QLabel* label : page.findChildren<QLabel*>()) promised |= label->text().contains("auto-starts on boot");
        EXPECT_EQ(promised, systemd);
    }
}

}  // namespace
}  // namespace korvane::ui
