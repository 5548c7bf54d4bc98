#pragma once
// OnboardingView: the setup window's content. Six pages explain what Korvane
// does, the seventh installs the root helper while showing what the
// installation prints, the eighth hands over to the running application.
//
// "Launch Korvane" calls onComplete from the event loop, so onComplete may
// delete the window.
//
// Enter presses the focused button, or else the page's primary one: Get
// Started, Continue, Install Helper, Retry or Check again, Launch Korvane.
// Each page, and each turn of the installation, puts the focus on it.
//
// The install page first looks for a helper that already answers on
// Korvane's socket, and again after a failed installation; one that answers
// is taken as installed. Where the privilege runner cannot ask (status 127)
// the page shows the one command to run in a terminal, with Copy and Check
// again.
//
// Buttons carry object names so a test or the shell can drive them:
// "skipButton", "backButton", "forwardButton" (Get Started, Continue and
// Launch Korvane), "installButton", "retryButton", "copyCommandButton" and
// "checkAgainButton"; the command is "terminalCommand".
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
#include "app/ui/onboarding/onboarding_widgets.h"
#include "app/monitors/system_summary.h"

class QKeyEvent;
class QShowEvent;
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
    // Whether a helper already answers on Korvane's socket: calls back once,
    // on the main thread. Without it none is looked for.
    std::function<void(std::function<void(bool answers)>)> findRunningHelper{};
    // What a user runs in a terminal when the runner cannot ask; empty when
    // none could be composed.
    std::string terminalCommand{};
    // Whether the installed helper is a systemd service, which starts at boot.
    bool systemdRunning = true;

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

    // The button Enter presses when no other button has the focus; null
    // when there is none (during the installation).
    QPushButton* primaryButton() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void runInstall();
    void startProcess();
    // Looks for a running helper, then calls `notFound` unless one answered.
    void lookForHelper(std::function<void()> notFound);
    void adoptRunningHelper();
    void checkAgain();
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
    bool helperWasRunning_ = false;  // success came from a helper that answered
    bool offerTerminal_ = false;     // the runner could not ask: show the command

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
    QLabel* busyLabel_ = nullptr;
    QWidget* installDone_ = nullptr;
    QLabel* doneLabel_ = nullptr;
    QWidget* installFailed_ = nullptr;
    QLabel* installErrorLabel_ = nullptr;
    QPushButton* installButton_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QWidget* terminalBox_ = nullptr;
    QPushButton* checkAgainButton_ = nullptr;
};

}  // namespace korvane::ui
