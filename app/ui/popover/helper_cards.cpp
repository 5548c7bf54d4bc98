#include "app/ui/popover/helper_cards.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/runtime/sleep.h"
#include "app/runtime/task.h"
#include "app/ui/popover/popover_style.h"
#include "app/ui/popover/row_button.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {
namespace {

// A centred column: the symbol, the title, then the explanation.
QVBoxLayout* cardColumn(QWidget& card, const char* symbol, int symbolSize, const QColor& color, const QString& title,
                        const QString& text) {
    auto* column = new QVBoxLayout(&card);
    column->setContentsMargins(20, 18, 20, 18);
    column->setSpacing(10);
    column->addWidget(symbolLabel(&card, symbol, symbolSize, color), 0, Qt::AlignHCenter);
    auto* heading = new QLabel(title, &card);
    heading->setFont(uiFont(14, QFont::Bold));
    heading->setAlignment(Qt::AlignCenter);
    column->addWidget(heading);
    auto* body = new QLabel(text, &card);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignCenter);
    styleSecondary(*body, 11);
    column->addWidget(body);
    return column;
}

}  // namespace

HelperSetupCard::HelperSetupCard(app::XPCManager& xpc, std::function<void()> install, QWidget* parent)
    : QWidget(parent), xpc_(xpc) {
    setObjectName("setupSection");
    auto* column =
        cardColumn(*this, "shield.lefthalf.filled", 36, accent::orange, uiText("Helper Daemon Required"),
                   uiText("Korvane needs a privileged helper to manage CPU core scheduling. This requires one-time "
                          "administrator approval."));
    installButton_ = new QPushButton(this);
    installButton_->setObjectName("installHelperButton");
    styleFilled(*installButton_, systemAccent(palette()));
    auto* inside = new QHBoxLayout(installButton_);
    inside->setContentsMargins(10, 0, 0, 0);
    spinner_ = new Spinner(14, installButton_);
    inside->addWidget(spinner_);
    inside->addStretch(1);
    spinner_->hide();
    connect(installButton_, &QPushButton::clicked, this, [install = std::move(install)] {
        if (install) install();
    });
    column->addWidget(installButton_);
    error_ = errorLabel(this, "setupError");
    column->addWidget(error_);
    // Every change of the helper's work or of the last error redraws the card.
    subscriptions_.push_back(xpc_.isProcessing.observe([this](bool) { showState(); }));
    subscriptions_.push_back(xpc_.lastError.observe([this](const auto&) { showState(); }));
    showState();
}

void HelperSetupCard::showState() {
    const bool busy = xpc_.isProcessing.get();
    installButton_->setEnabled(!busy);
    installButton_->setText(busy ? uiText("Installing...") : uiText("Install Helper"));
    installButton_->setIcon(busy ? QIcon() : symbolIcon("arrow.down.circle.fill", 14, Qt::white));
    spinner_->setVisible(busy);
    showError(*error_, xpc_.lastError.get());
}

HelperNotRespondingCard::HelperNotRespondingCard(app::XPCManager& xpc, MainLoop& loop, std::function<void()> install,
                                                 std::function<void()> remove, QWidget* parent)
    : QWidget(parent), xpc_(xpc), loop_(loop), install_(std::move(install)), remove_(std::move(remove)) {
    setObjectName("helperInactiveSection");
    auto* column = cardColumn(*this, "exclamationmark.triangle.fill", 28, accent::yellow,
                              uiText("Helper Not Responding"),
                              uiText("Daemon is installed but not active.\nTry reinstalling the helper daemon."));
    auto* buttons = new QHBoxLayout;
    retryButton_ = new QPushButton(symbolIcon("arrow.clockwise", 14, systemAccent(palette())), uiText("Retry"), this);
    retryButton_->setObjectName("retryButton");
    styleTinted(*retryButton_, systemAccent(palette()));
    reinstallButton_ =
        new QPushButton(symbolIcon("arrow.triangle.2.circlepath", 14, accent::orange), uiText("Reinstall"), this);
    reinstallButton_->setObjectName("reinstallButton");
    styleTinted(*reinstallButton_, accent::orange);
    buttons->addStretch(1);
    buttons->addWidget(retryButton_);
    buttons->addWidget(reinstallButton_);
    buttons->addStretch(1);
    column->addLayout(buttons);
    error_ = errorLabel(this, "inactiveError");
    column->addWidget(error_);
    connect(retryButton_, &QPushButton::clicked, this, &HelperNotRespondingCard::retry);
    connect(reinstallButton_, &QPushButton::clicked, this, &HelperNotRespondingCard::reinstall);
    // Every change of the helper's work or of the last error redraws the card.
    subscriptions_.push_back(xpc_.isProcessing.observe([this](bool) { showState(); }));
    subscriptions_.push_back(xpc_.lastError.observe([this](const auto&) { showState(); }));
    showState();
}

void HelperNotRespondingCard::showState() {
    const bool busy = xpc_.isProcessing.get();
    retryButton_->setEnabled(!busy);
    reinstallButton_->setEnabled(!busy);
    showError(*error_, xpc_.lastError.get());
}

void HelperNotRespondingCard::retry() {
    app::spawn(loop_, [xpc = &xpc_]() -> app::Async<> {
        xpc->isProcessing = true;
        xpc->lastError = std::nullopt;
        co_await xpc->pingHelper();
        if (!xpc->helperActive.get()) {
            xpc->checkHelperStatus();
            co_await app::sleepFor(kRetryPause);
            co_await xpc->pingHelper();
        }
        xpc->isProcessing = false;
    });
}

void HelperNotRespondingCard::reinstall() {
    if (remove_) remove_();
    reinstallTimer_ = Timer::once(loop_, kReinstallPause, [this] {
        if (install_) install_();
    });
}

}  // namespace korvane::ui
