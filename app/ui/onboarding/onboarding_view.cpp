#include "app/ui/onboarding/onboarding_view.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/ui/onboarding/onboarding_style.h"
#include "app/ui/onboarding/onboarding_widgets.h"
#include "app/ui/onboarding/qt_install_process.h"
#include "shared/paths/installed_paths.h"

namespace korvane::ui {

namespace {

QString localizedText(const char* key) {
    return QString::fromStdString(app::localized(key));
}

}  // namespace

OnboardingDependencies OnboardingDependencies::forThisMachine(app::SystemSummary system) {
    return {std::move(system), {},
            [] { return std::make_unique<app::QtInstallProcess>(); }};
}

OnboardingView::OnboardingView(std::function<void()> onComplete,
                               OnboardingDependencies dependencies, QWidget* parent)
    : QWidget(parent), onComplete_(std::move(onComplete)), dependencies_(std::move(dependencies)) {
    setObjectName(QStringLiteral("onboardingView"));
    style::paintWindowBackground(this);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(20, 10, 14, 10);
    stepLabel_ = style::text({}, 12, style::kSecondaryText, style::Weight::Medium);
    stepLabel_->setObjectName(QStringLiteral("stepLabel"));
    top->addWidget(stepLabel_);
    top->addStretch(1);
    skipButton_ = makeButton(localizedText("Skip to Install"), ButtonRole::Link);
    skipButton_->setObjectName(QStringLiteral("skipButton"));
    QSizePolicy keepPlace = skipButton_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    skipButton_->setSizePolicy(keepPlace);
    connect(skipButton_, &QPushButton::clicked, this, [this] { setCurrentStep(kInstallStep); });
    top->addWidget(skipButton_);
    root->addLayout(top);

    auto* divider = new QFrame;
    divider->setFixedHeight(1);
    divider->setStyleSheet(
        QStringLiteral("background: %1;").arg(style::css(QColor(0xd8, 0xd8, 0xdc))));
    root->addWidget(divider);

    pages_ = new QStackedWidget;
    for (QWidget* page : {welcomeStep(), appleSliiconStep(), focusModeStep(), beastModeStep(),
                          extraFeaturesStep(), howItWorksStep(), installStep(), doneStep()}) {
        pages_->addWidget(page);
    }
    emptyPage_ = new QWidget;
    pages_->addWidget(emptyPage_);
    root->addWidget(pages_, 1);

    // Two sides of equal width keep the dots in the middle whichever buttons show.
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(20, 10, 20, 16);
    constexpr int kSideWidth = 170;
    auto* left = new QWidget;
    left->setFixedWidth(kSideWidth);
    auto* leftLayout = new QHBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    backButton_ = makeButton(localizedText("Back"), ButtonRole::Secondary, "arrow.left");
    backButton_->setObjectName(QStringLiteral("backButton"));
    connect(backButton_, &QPushButton::clicked, this, [this] { setCurrentStep(currentStep_ - 1); });
    leftLayout->addWidget(backButton_);
    leftLayout->addStretch(1);
    bottom->addWidget(left);
    bottom->addStretch(1);
    dots_ = new StepDots(static_cast<int>(totalSteps));
    bottom->addWidget(dots_, 0, Qt::AlignVCenter);
    bottom->addStretch(1);
    auto* right = new QWidget;
    right->setFixedWidth(kSideWidth);
    auto* rightLayout = new QHBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addStretch(1);
    forwardButton_ = makeButton({}, ButtonRole::Primary);
    forwardButton_->setObjectName(QStringLiteral("forwardButton"));
    connect(forwardButton_, &QPushButton::clicked, this, [this] {
        if (currentStep_ == totalSteps - 1) {
            // After the click has finished: the host closes, and may delete, this window in
            // onComplete. The call runs on a copy, whose captures outlive the view.
            if (onComplete_) QTimer::singleShot(0, this, [callback = onComplete_] { callback(); });
        } else if (currentStep_ == kInstallStep) {
            if (installState_ == InstallState::success) setCurrentStep(totalSteps - 1);
        } else {
            setCurrentStep(currentStep_ + 1);
        }
    });
    rightLayout->addWidget(forwardButton_);
    bottom->addWidget(right);
    root->addLayout(bottom);

    refresh();
}

OnboardingView::~OnboardingView() = default;

void OnboardingView::setCurrentStep(std::int64_t step) {
    currentStep_ = step;
    refresh();
}

void OnboardingView::refresh() {
    stepLabel_->setText(QString::fromStdString(app::StringTable::compiledIn().format(
        "Step %lld of %lld", {currentStep_ + 1, totalSteps})));
    skipButton_->setVisible(currentStep_ <= 5);

    bool onPage = currentStep_ >= 0 && currentStep_ < totalSteps;
    pages_->setCurrentIndex(onPage ? static_cast<int>(currentStep_) : pages_->indexOf(emptyPage_));
    dots_->setCurrent(static_cast<int>(currentStep_));

    bool installing = currentStep_ == kInstallStep && installState_ == InstallState::installing;
    backButton_->setVisible(currentStep_ >= 1 && !installing);

    if (currentStep_ >= 0 && currentStep_ <= 5) {
        restyleButton(forwardButton_, localizedText(currentStep_ == 0 ? "Get Started" : "Continue"),
                      ButtonRole::Primary, "arrow.right", true);
        forwardButton_->setVisible(true);
    } else if (currentStep_ == kInstallStep) {
        restyleButton(forwardButton_, localizedText("Continue"), ButtonRole::Primary, {}, false);
        forwardButton_->setVisible(installState_ == InstallState::success);
    } else if (currentStep_ == totalSteps - 1) {
        restyleButton(forwardButton_, localizedText("Launch Korvane"), ButtonRole::Success,
                      "checkmark.circle.fill", false);
        forwardButton_->setVisible(true);
    } else {
        forwardButton_->setVisible(false);
    }
    refreshInstallControls();
    // Enter goes on from here: every page and every turn of the installation
    // hands the focus to what comes next.
    if (QPushButton* primary = primaryButton()) primary->setFocus(Qt::OtherFocusReason);
}

void OnboardingView::refreshInstallControls() {
    logArea_->setVisible(!installLog_.empty());
    installIdle_->setVisible(installState_ == InstallState::idle);
    installBusy_->setVisible(installState_ == InstallState::installing);
    installDone_->setVisible(installState_ == InstallState::success);
    doneLabel_->setText(localizedText(helperWasRunning_ ? "Korvane's helper is already running."
                                                        : "Helper installed successfully!"));
    installFailed_->setVisible(installState_ == InstallState::failed);
    installErrorLabel_->setText(QString::fromStdString(installError_.value_or(std::string())));
    terminalBox_->setVisible(offerTerminal_);
    checkAgainButton_->setVisible(offerTerminal_);
    // Beside Check again, Retry steps back from the primary look.
    restyleButton(retryButton_, localizedText("Retry"), offerTerminal_ ? ButtonRole::Secondary : ButtonRole::Primary,
                  "arrow.clockwise", false);
    // The log gives up room to the command while it is shown.
    logArea_->setFixedHeight(offerTerminal_ ? 96 : 150);
}

QPushButton* OnboardingView::primaryButton() const {
    if (currentStep_ != kInstallStep) return forwardButton_->isVisibleTo(this) ? forwardButton_ : nullptr;
    switch (installState_) {
        case InstallState::idle: return installButton_;
        case InstallState::installing: return nullptr;
        case InstallState::success: return forwardButton_;
        case InstallState::failed: return offerTerminal_ ? checkAgainButton_ : retryButton_;
    }
    return nullptr;
}

void OnboardingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Hosting the view in its window took the focus away.
    if (QPushButton* primary = primaryButton()) primary->setFocus(Qt::OtherFocusReason);
}

void OnboardingView::keyPressEvent(QKeyEvent* event) {
    if (!enterPressed(*event, *this, primaryButton())) QWidget::keyPressEvent(event);
}

void OnboardingView::keyReleaseEvent(QKeyEvent* event) {
    if (!enterReleased(*event, *this, primaryButton())) QWidget::keyReleaseEvent(event);
}

void OnboardingView::addLog(const std::string& icon, const std::string& text, bool isError) {
    installLog_.push_back({QUuid::createUuid(), icon, text, isError});

    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(7);
    layout->addWidget(new SymbolView(icon, 13, isError ? style::kRed : style::kGreen), 0,
                      Qt::AlignTop);
    QLabel* label =
        style::text(QString::fromStdString(text), 11, isError ? style::kRed : style::kPrimaryText);
    label->setObjectName(QStringLiteral("logText"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label, 1);
    logRows_->insertWidget(logRows_->count() - 1, row);

    refreshInstallControls();
    // The newest line stays in view once the layout has made room for it.
    QTimer::singleShot(0, logArea_, [area = logArea_] {
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    });
}

void OnboardingView::runInstall() {
    if (installState_ == InstallState::installing) return;
    installState_ = InstallState::installing;
    installLog_.clear();
    while (logRows_->count() > 1) {
        QLayoutItem* item = logRows_->takeAt(0);
        delete item->widget();
        delete item;
    }
    installError_.reset();
    helperWasRunning_ = false;
    offerTerminal_ = false;
    lines_ = {};
    refresh();

    addLog("arrow.down.circle", "Starting installation...", false);
    // A helper that already answers is never replaced, and needs no password.
    lookForHelper([this] { startProcess(); });
}

void OnboardingView::startProcess() {
    busyLabel_->setText(localizedText("Installing..."));
    auto command = app::resolveInstallCommand(dependencies_.installPlan);
    // The previous run's process has ended; it goes only now, outside its own handler.
    process_ = dependencies_.makeProcess ? dependencies_.makeProcess() : nullptr;
    std::optional<std::string> failure;
    if (!command) {
        failure = command.error();
    } else if (!process_) {
        failure = "no way to run programs";
    } else {
        failure = process_->start(command.value(), {[this](std::string_view chunk) { handleOutput(chunk); },
                                                    [this](app::InstallExit exit) { handleExit(exit); }});
    }
    if (failure) {
        std::string error = app::couldNotStartText(*failure);
        addLog("xmark.circle.fill", error, true);
        lookForHelper([this, error] {
            installError_ = error;
            installState_ = InstallState::failed;
            refresh();
        });
    }
}

void OnboardingView::lookForHelper(std::function<void()> notFound) {
    if (!dependencies_.findRunningHelper) return notFound();
    busyLabel_->setText(localizedText("Looking for a running helper..."));
    dependencies_.findRunningHelper([self = QPointer<OnboardingView>(this), notFound](bool answers) {
        if (!self) return;
        if (answers) {
            self->adoptRunningHelper();
        } else {
            notFound();
        }
    });
}

void OnboardingView::adoptRunningHelper() {
    addLog("checkmark.seal.fill", "A helper already answers on Korvane's socket.", false);
    app::logLine("Onboarding — Daemon zaten çalışıyor.");
    helperWasRunning_ = true;
    offerTerminal_ = false;
    installError_.reset();
    installState_ = InstallState::success;
    refresh();
}

void OnboardingView::checkAgain() {
    if (installState_ != InstallState::failed) return;
    installState_ = InstallState::installing;
    refresh();
    lookForHelper([this] {
        addLog("xmark.circle.fill", "No helper answers yet.", true);
        installState_ = InstallState::failed;
        refresh();
    });
}

void OnboardingView::handleOutput(std::string_view chunk) {
    for (const std::string& line : lines_.append(chunk)) {
        if (auto entry = app::classifyInstallLine(line))
            addLog(entry->icon, entry->text, entry->isError);
    }
}

void OnboardingView::handleExit(const app::InstallExit& exit) {
    for (const std::string& line : lines_.finish()) {
        if (auto entry = app::classifyInstallLine(line))
            addLog(entry->icon, entry->text, entry->isError);
    }
    app::InstallOutcome outcome = app::describeInstallExit(exit);
    addLog(outcome.logEntry.icon, outcome.logEntry.text, outcome.logEntry.isError);
    app::logLine(outcome.logLine);
    if (!outcome.runnerWords.empty()) app::logLine("Onboarding — yetki istenemedi: " + outcome.runnerWords);
    if (outcome.succeeded) {
        installState_ = InstallState::success;
        refresh();
        return;
    }
    // The helper may be running all the same: started by hand, or by another
    // installation while this one failed.
    lookForHelper([this, outcome] {
        installError_ = outcome.installError;
        offerTerminal_ = outcome.runnerCouldNotAsk && !dependencies_.terminalCommand.empty();
        installState_ = InstallState::failed;
        refresh();
    });
}

}  // namespace korvane::ui
