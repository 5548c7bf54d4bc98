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

TEST_F(OnboardingPages, TheWelcomePageShowsThisComputer) {
    QStringList texts;
    for (QLabel* label : view.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains("Framework Laptop 13"));
    EXPECT_TRUE(texts.contains("6P + 8E Cores"));
    EXPECT_TRUE(texts.contains("32 GB RAM"));
    // Nothing on any page speaks of a Mac.
    for (const QString& text : texts) {
        EXPECT_FALSE(text.contains("Apple") || text.contains("macOS") || text.contains("Mac ") ||
                     text.contains("Xcode") || text.contains("XPC"))
            << text.toStdString();
    }
}

}  // namespace
}  // namespace korvane::ui
