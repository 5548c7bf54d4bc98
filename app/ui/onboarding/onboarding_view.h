#pragma once
// OnboardingView: the setup window's content. Six pages explain what Korvane
// does, the seventh installs the root helper while showing what the
// installation prints, the eighth hands over to the running application.
//
// "Launch Korvane" calls onComplete from the event loop, so onComplete may
// delete the window.
//
// Buttons carry object names so a test or the shell can drive them:
// "skipButton", "backButton", "forwardButton" (Get Started, Continue and
// Launch Korvane), "installButton" and "retryButton".
#include <QUuid>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/onboarding/install_output.h"
#include "app/ui/onboarding/install_plan.h"
#include "app/ui/onboarding/install_process.h"
#include "app/ui/onboarding/system_summary.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

namespace korvane::ui {

class StepDots;

enum class InstallState { idle, installing, success, failed };

struct LogEntry {
    QUuid id;
    std::string icon;
    std::string text;
    bool isError = false;
};

struct OnboardingDependencies {
    // What the welcome page says about this computer.
    app::SystemSummary system;
    // Which command installs the helper, through which runner.
    app::InstallPlan installPlan;
    // A new process for each run of the installation.
    std::function<std::unique_ptr<app::InstallProcess>()> makeProcess;

    // This machine, as the platform read it, and QProcess; the program's
    // main hands in the installer's command.
    static OnboardingDependencies forThisMachine(app::SystemSummary system);
};

class OnboardingView : public QWidget {
  public:
    static constexpr std::int64_t totalSteps = 8;
    static constexpr std::int64_t kInstallStep = 6;

    explicit OnboardingView(
        std::function<void()> onComplete,
        OnboardingDependencies dependencies,
        QWidget* parent = nullptr);
    ~OnboardingView() override;

    std::int64_t currentStep() const { return currentStep_; }
    InstallState installState() const { return installState_; }
    const std::vector<LogEntry>& installLog() const { return installLog_; }
    const std::optional<std::string>& installError() const { return installError_; }

    // The page shown; the buttons move it, a test may set it directly.
    void setCurrentStep(std::int64_t step);

  private:
    void runInstall();
    void addLog(const std::string& icon, const std::string& text, bool isError);
    void handleOutput(std::string_view chunk);
    void handleExit(const app::InstallExit& exit);
    void refresh();
    void refreshInstallControls();

    QWidget* welcomeStep();
    QWidget* appleSliiconStep();
    QWidget* focusModeStep();
    QWidget* beastModeStep();
    QWidget* extraFeaturesStep();
    QWidget* howItWorksStep();
    QWidget* installStep();
    QWidget* doneStep();

    std::function<void()> onComplete_;
    OnboardingDependencies dependencies_;
    std::int64_t currentStep_ = 0;
    InstallState installState_ = InstallState::idle;
    std::vector<LogEntry> installLog_;
    std::optional<std::string> installError_;

    std::unique_ptr<app::InstallProcess> process_;
    app::InstallLineBuffer lines_;

    QLabel* stepLabel_ = nullptr;
    QPushButton* skipButton_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* emptyPage_ = nullptr;
    QPushButton* backButton_ = nullptr;
    StepDots* dots_ = nullptr;
    QPushButton* forwardButton_ = nullptr;

    QScrollArea* logArea_ = nullptr;
    QVBoxLayout* logRows_ = nullptr;
    QWidget* installIdle_ = nullptr;
    QWidget* installBusy_ = nullptr;
    QWidget* installDone_ = nullptr;
    QWidget* installFailed_ = nullptr;
    QLabel* installErrorLabel_ = nullptr;
};

}  // namespace korvane::ui
