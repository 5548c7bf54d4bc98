// The install page with real processes: a privilege stand-in and install
// scripts that print progress and end with a chosen status.
#include <gtest/gtest.h>

#include <QLabel>

#include "tests/onboarding/onboarding_fixture.h"

namespace korvane::ui {
namespace {

using testing::button;
using testing::logTexts;
using testing::shown;

class InstallRun : public testing::QtFixture {
  protected:
    std::unique_ptr<OnboardingView> makeView() {
        auto view = std::make_unique<OnboardingView>([] {}, fixture.dependencies());
        view->setCurrentStep(6);
        return view;
    }
    static bool finish(OnboardingView& view) {
        return testing::waitUntil([&] { return view.installState() != InstallState::installing; });
    }
    static std::string errorLabel(OnboardingView& view) {
        return view.findChild<QLabel*>(QStringLiteral("installError"))->text().toStdString();
    }

    testing::InstallFixture fixture;
};

TEST_F(InstallRun, TheScriptsProgressIsShownAndSuccessIsLogged) {
    fixture.script(
        "echo 'STEP:Copying helper'\necho 'debug chatter'\necho \"OK:Copied $1\"\n"
        "echo 'warning: ignored' >&2\necho 'SUCCESS:Helper running'\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(view->installState(), InstallState::success);
    EXPECT_EQ(logTexts(*view),
              (std::vector<std::string>{"Starting installation...", "Copying helper",
                                        "Copied /opt/korvane/com.korvane.helper", "Helper running",
                                        "Installation complete!"}));
    EXPECT_EQ(view->installLog().front().icon, "arrow.down.circle");
    EXPECT_EQ(view->installError(), std::nullopt);
    EXPECT_TRUE(shown(view->findChild<QWidget*>(QStringLiteral("installDone"))));
    EXPECT_TRUE(shown(button(*view, "forwardButton")));
}

TEST_F(InstallRun, DismissingTheDialogReadsAsCancelled) {
    fixture.script("echo 'STEP:never reached'\n");
    fixture.runner(
        "echo 'Error executing command as another user: Request dismissed' >&2\nexit 126\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(view->installState(), InstallState::failed);
    EXPECT_EQ(view->installError(), "Installation cancelled. Please try again.");
    EXPECT_EQ(errorLabel(*view), "Installation cancelled. Please try again.");
    EXPECT_EQ(logTexts(*view),
              (std::vector<std::string>{"Starting installation...", "Cancelled by user"}));
    EXPECT_TRUE(view->installLog().back().isError);
    EXPECT_TRUE(shown(button(*view, "retryButton")));
    EXPECT_TRUE(shown(button(*view, "backButton")));
    EXPECT_FALSE(shown(button(*view, "forwardButton")));
}

TEST_F(InstallRun, AFailureShowsItsStatusAndStandardErrorAndARetryStartsAfresh) {
    fixture.script(
        "echo 'STEP:Copying'\necho 'ERROR:cannot copy'\n"
        "echo \"cp: cannot create regular file '/usr/local/libexec': Read-only file system\" "
        ">&2\nexit 1\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(view->installState(), InstallState::failed);
    EXPECT_EQ(view->installError(), "Installation failed (exit code 1)");
    EXPECT_EQ(logTexts(*view), (std::vector<std::string>{
                                   "Starting installation...", "Copying", "cannot copy",
                                   "Failed: cp: cannot create regular file '/usr/local/libexec': "
                                   "Read-only file system"}));
    EXPECT_TRUE(view->installLog()[2].isError);

    fixture.script("echo 'OK:Second time lucky'\n");
    button(*view, "retryButton")->click();
    EXPECT_EQ(view->installState(), InstallState::installing);
    EXPECT_EQ(logTexts(*view), std::vector<std::string>{"Starting installation..."});
    EXPECT_EQ(view->installError(), std::nullopt);
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(view->installState(), InstallState::success);
    EXPECT_EQ(logTexts(*view),
              (std::vector<std::string>{"Starting installation...", "Second time lucky",
                                        "Installation complete!"}));
}

TEST_F(InstallRun, AKilledInstallationIsAFailureAndAMissingRunnerOrScriptCannotStart) {
    fixture.runner("kill -KILL $$\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(view->installState(), InstallState::failed);
    EXPECT_EQ(view->installError(), "Installation failed (exit code 137)");

    fixture.runnerPath(fixture.path("no/such/runner"));
    auto second = makeView();
    button(*second, "installButton")->click();
    EXPECT_EQ(second->installState(), InstallState::failed);
    ASSERT_TRUE(second->installError().has_value());
    EXPECT_TRUE(second->installError()->starts_with("Could not start installer: "))
        << *second->installError();
    EXPECT_TRUE(second->installLog().back().isError);
    EXPECT_TRUE(shown(button(*second, "retryButton")));

    auto dependencies = fixture.dependencies();
    dependencies.installPlan.composed = [] {
        return Expected<app::InstallCommand, std::string>(unexpected(std::string("no install script")));
    };
    OnboardingView refused([] {}, dependencies);
    refused.setCurrentStep(6);
    button(refused, "installButton")->click();
    EXPECT_EQ(refused.installError(), "Could not start installer: no install script");
}

TEST_F(InstallRun, ClosingTheWindowDuringTheInstallationEndsIt) {
    std::string marker = fixture.path("still-running");
    fixture.script("sleep 5\ntouch '" + marker + "'\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_EQ(view->installState(), InstallState::installing);
    view.reset();
    testing::waitUntil([] { return false; }, 300);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace korvane::ui
