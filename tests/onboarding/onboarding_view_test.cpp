#include <gtest/gtest.h>

#include <QLabel>

#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;
using testing::shown;

class OnboardingPages : public testing::QtFixture {
  protected:
    std::shared_ptr<testing::ScriptedInstall::Shared> install =
        std::make_shared<testing::ScriptedInstall::Shared>();
    int completions = 0;
    OnboardingView view{[this] { ++completions; }, testing::scriptedDependencies(install)};
    QLabel* stepLabel() { return view.findChild<QLabel*>(QStringLiteral("stepLabel")); }
};

TEST_F(OnboardingPages, ButtonsAndLabelsOnEveryPage) {
    for (std::int64_t page = 0; page < OnboardingView::totalSteps; ++page) {
        SCOPED_TRACE(page);
        view.setCurrentStep(page);
        EXPECT_EQ(stepLabel()->text(), QStringLiteral("Step %1 of 8").arg(page + 1));
        EXPECT_EQ(shown(button(view, "skipButton")), page <= 5);
        EXPECT_EQ(shown(button(view, "backButton")), page >= 1);
        QPushButton* forward = button(view, "forwardButton");
        const char* label = page == 0   ? "Get Started"
                            : page <= 5 ? "Continue"
                            : page == 7 ? "Launch Korvane"
                                        : nullptr;
        if (label) {
            EXPECT_EQ(forward->text(), label);
        }
        // On the install page Continue waits for a successful installation.
        EXPECT_EQ(shown(forward), page != 6);
    }
}

TEST_F(OnboardingPages, WalkingForwardBackSkippingAndLaunching) {
    button(view, "forwardButton")->click();
    button(view, "forwardButton")->click();
    EXPECT_EQ(view.currentStep(), 2);
    button(view, "backButton")->click();
    EXPECT_EQ(view.currentStep(), 1);
    button(view, "skipButton")->click();
    EXPECT_EQ(view.currentStep(), 6);
    button(view, "forwardButton")->click();  // hidden, and does nothing before success
    EXPECT_EQ(view.currentStep(), 6);
    EXPECT_EQ(completions, 0);

    button(view, "installButton")->click();
    install->handlers.finished({0, ""});
    ASSERT_EQ(view.installState(), InstallState::success);
    QPushButton* forward = button(view, "forwardButton");
    EXPECT_TRUE(shown(forward));
    EXPECT_EQ(forward->text(), "Continue");
    forward->click();
    EXPECT_EQ(view.currentStep(), 7);
    EXPECT_EQ(completions, 0);
    button(view, "forwardButton")->click();
    EXPECT_TRUE(testing::waitUntil([&] { return completions == 1; }));
}

TEST_F(OnboardingPages, BackIsHiddenOnlyWhileTheInstallationRuns) {
    view.setCurrentStep(6);
    EXPECT_TRUE(shown(button(view, "backButton")));
    button(view, "installButton")->click();
    EXPECT_EQ(view.installState(), InstallState::installing);
    EXPECT_FALSE(shown(button(view, "backButton")));
    EXPECT_FALSE(shown(button(view, "installButton")));
    EXPECT_TRUE(shown(view.findChild<QWidget*>(QStringLiteral("installBusy"))));
    // A second press cannot start a second installation.
    button(view, "installButton")->click();
    EXPECT_EQ(install->starts, 1);
    install->handlers.finished({1, "boom"});
    EXPECT_TRUE(shown(button(view, "backButton")));
}

// A helper already answering on the socket (started by hand, by a script, or
// by an earlier installation) is used as it is after a failure; where the
// runner cannot ask, the page offers the terminal command. The first-run
// desktop test covers a helper that answers before the installation.
class RunningHelper : public testing::QtFixture {
  protected:
    RunningHelper() {
        dependencies.findRunningHelper = [this](std::function<void(bool)> done) {
            ++looks;
            done(answers);
        };
        dependencies.terminalCommand = "sudo /opt/share/korvane/install_helper.sh /opt/helper 1000";
    }
    std::unique_ptr<OnboardingView> installPage() {
        auto view = std::make_unique<OnboardingView>([] {}, dependencies);
        view->setCurrentStep(OnboardingView::kInstallStep);
        button(*view, "installButton")->click();
        return view;
    }

    std::shared_ptr<testing::ScriptedInstall::Shared> install =
        std::make_shared<testing::ScriptedInstall::Shared>();
    OnboardingDependencies dependencies = testing::scriptedDependencies(install);
    bool answers = false;
    int looks = 0;
};

TEST_F(RunningHelper, OneAnsweringAfterAFailureIsUsed) {
    auto view = installPage();
    ASSERT_EQ(install->starts, 1);
    answers = true;
    install->handlers.finished({1, "cp: Read-only file system"});
    EXPECT_EQ(looks, 2);
    EXPECT_EQ(view->installState(), InstallState::success);
    EXPECT_EQ(view->installError(), std::nullopt);
    EXPECT_TRUE(shown(button(*view, "forwardButton")));
}

TEST_F(RunningHelper, ARunnerThatCannotAskLeadsToTheTerminalCommandAndCheckAgain) {
    for (int status : {126, 1}) {
        auto view = installPage();
        install->handlers.finished({status, ""});
        EXPECT_FALSE(shown(view->findChild<QWidget*>(QStringLiteral("terminalBox")))) << status;
    }
    // What the command shows and copies, the first-run desktop test checks.
    auto view = installPage();
    install->handlers.finished({127, "Error getting authority: Could not connect"});
    ASSERT_EQ(view->installState(), InstallState::failed);
    EXPECT_TRUE(shown(view->findChild<QWidget*>(QStringLiteral("terminalBox"))));
    EXPECT_EQ(view->primaryButton(), button(*view, "checkAgainButton"));

    button(*view, "checkAgainButton")->click();
    EXPECT_EQ(view->installState(), InstallState::failed);
    EXPECT_EQ(view->installLog().back().text, "No helper answers yet.");
    answers = true;
    button(*view, "checkAgainButton")->click();
    EXPECT_EQ(view->installState(), InstallState::success);
    EXPECT_EQ(install->starts, 3) << "Check again ran the installation";
}

TEST_F(OnboardingPages, TheWelcomePageShowsThisComputer) {
    QStringList texts;
    for (QLabel* label : view.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Framework Laptop 13"));
    EXPECT_TRUE(texts.contains("6P + 8E Cores"));
    EXPECT_TRUE(texts.contains("32 GB RAM"));
    // Nothing on any page speaks of a Mac, its menu bar or its tools.
    for (const QString& text : texts) {
        EXPECT_FALSE(text.contains("Apple") || text.contains("macOS") || text.contains("Mac ") ||
                     text.contains("Xcode") || text.contains("XPC") || text.contains("menu bar") ||
                     text.contains("taskpolicy"))
            << text.toStdString();
    }
}

// Only a systemd service starts again at boot; elsewhere the page says so.
TEST_F(OnboardingPages, TheBootPromiseHoldsOnlyWithSystemd) {
    for (bool systemd : {true, false}) {
        OnboardingDependencies dependencies = testing::scriptedDependencies(install);
        dependencies.systemdRunning = systemd;
        OnboardingView page([] {}, dependencies);
        bool promised = false;
        for (QLabel* label : page.findChildren<QLabel*>()) promised |= label->text().contains("auto-starts on boot");
        EXPECT_EQ(promised, systemd);
    }
}

}  // namespace
}  // namespace korvane::ui
