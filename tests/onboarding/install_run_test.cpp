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

class InstallRun : public ::testing::Test {
  protected:
    std::unique_ptr<OnboardingView> makeView() {
        auto view = std::make_unique<OnboardingView>([] {}, fixture.dependencies());
        view->setCurrentStep(OnboardingView::kInstallStep);
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

// Each ending as the page shows it: its state, its error (in the label too),
// the log, and the buttons that lead on.
TEST_F(InstallRun, EachEndingOfARealInstallation) {
    struct Ending {
        const char* name;
        std::string script;
        std::string runner;  // empty: the stand-in that runs the command as it is
        std::optional<std::string> error;
        std::vector<std::string> log;  // empty: not checked
    };
    const Ending endings[] = {
        {"success; lines without a known prefix and standard error are not shown",
         "echo 'STEP:Copying helper'\necho 'debug chatter'\necho \"OK:Copied $1\"\n"
         "echo 'warning: ignored' >&2\necho 'SUCCESS:Helper running'\n",
         "", std::nullopt,
         {"Starting installation...", "Copying helper", "Copied /opt/korvane/com.korvane.helper", "Helper running",
          "Installation complete!"}},
        {"the dialog dismissed", "echo 'STEP:never reached'\n",
         "echo 'Error executing command as another user: Request dismissed' >&2\nexit 126\n",
         "Installation cancelled. Please try again.", {"Starting installation...", "Cancelled by user"}},
        {"the script fails; its standard error ends the log",
         "echo 'STEP:Copying'\necho 'ERROR:cannot copy'\n"
         "echo \"cp: cannot create regular file '/usr/local/libexec': Read-only file system\" >&2\nexit 1\n",
         "", "Installation failed (exit code 1)",
         {"Starting installation...", "Copying", "cannot copy",
          "Failed: cp: cannot create regular file '/usr/local/libexec': Read-only file system"}},
        {"the runner killed", "", "kill -KILL $$\n", "Installation failed (exit code 137)", {}},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        testing::InstallFixture prefix;
        prefix.script(ending.script);
        if (!ending.runner.empty()) prefix.runner(ending.runner);
        OnboardingView view([] {}, prefix.dependencies());
        view.setCurrentStep(OnboardingView::kInstallStep);
        button(view, "installButton")->click();
        ASSERT_TRUE(finish(view));
        bool failed = ending.error.has_value();
        EXPECT_EQ(view.installState(), failed ? InstallState::failed : InstallState::success);
        EXPECT_EQ(view.installError(), ending.error);
        EXPECT_EQ(errorLabel(view), ending.error.value_or(""));
        EXPECT_TRUE(ending.log.empty() || logTexts(view) == ending.log) << ::testing::PrintToString(logTexts(view));
        EXPECT_EQ(view.installLog().back().isError, failed);
        EXPECT_EQ(shown(button(view, "retryButton")), failed);
        EXPECT_EQ(shown(button(view, "forwardButton")), !failed);
    }
}

TEST_F(InstallRun, ARetryStartsAfresh) {
    fixture.script("exit 1\n");
    auto view = makeView();
    button(*view, "installButton")->click();
    ASSERT_TRUE(finish(*view));
    fixture.script("echo 'OK:Second time lucky'\n");
    button(*view, "retryButton")->click();
    EXPECT_EQ(view->installState(), InstallState::installing);
    EXPECT_EQ(logTexts(*view), std::vector<std::string>{"Starting installation..."});
    EXPECT_EQ(view->installError(), std::nullopt);
    ASSERT_TRUE(finish(*view));
    EXPECT_EQ(logTexts(*view),
              (std::vector<std::string>{"Starting installation...", "Second time lucky", "Installation complete!"}));
}

TEST_F(InstallRun, AMissingRunnerOrScriptCannotStart) {
    fixture.runnerPath(fixture.path("no/such/runner"));
    auto view = makeView();
    button(*view, "installButton")->click();
    EXPECT_EQ(view->installState(), InstallState::failed);
    ASSERT_TRUE(view->installError().has_value());
    EXPECT_TRUE(view->installError()->starts_with("Could not start installer: ")) << *view->installError();
    EXPECT_TRUE(shown(button(*view, "retryButton")));

    auto dependencies = fixture.dependencies();
    dependencies.installPlan.composed = [] {
        return Expected<app::InstallCommand, std::string>(unexpected(std::string("no install script")));
    };
    OnboardingView refused([] {}, dependencies);
    refused.setCurrentStep(OnboardingView::kInstallStep);
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
