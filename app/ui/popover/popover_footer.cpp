#include "app/ui/popover/popover_footer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/runtime/task.h"
#include "app/ui/popover/popover_style.h"
#include "app/ui/popover/row_button.h"
#include "app/ui/popover/status_dot.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {

PopoverFooter::PopoverFooter(app::AppManager& apps, app::XPCManager& xpc, app::AutoTriggerManager& beast,
                             MainLoop& loop, Actions actions, QWidget* parent)
    : QWidget(parent), apps_(apps), xpc_(xpc), beast_(beast), loop_(loop), actions_(std::move(actions)),
      quitRelease_(loop) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 10);  // narrower than the body's: the footer row is full
    column->setSpacing(6);
    error_ = errorLabel(this, "footerError");
    error_->setAlignment(Qt::AlignLeft);
    column->addWidget(error_);

    auto* status = new QHBoxLayout;
    status->setSpacing(3);
    daemonDot_ = new StatusDot(6, accent::grey, this);
    daemonDot_->setObjectName("daemonDot");
    daemonText_ = new QLabel(this);
    daemonText_->setObjectName("daemonStatus");
    styleSecondary(*daemonText_, 11);
    removeButton_ = new QPushButton(symbolIcon("trash", 12, accent::red), uiText("Remove Daemon"), this);
    removeButton_->setObjectName("removeDaemonButton");
    styleTinted(*removeButton_, accent::red, 4);
    installButton_ =
        new QPushButton(symbolIcon("arrow.down.circle", 12, systemAccent(palette())), uiText("Install Daemon"), this);
    installButton_->setObjectName("installDaemonButton");
    styleTinted(*installButton_, systemAccent(palette()), 4);
    spinner_ = new Spinner(12, this);
    spinner_->hide();
    quitButton_ = new QPushButton(uiText("Quit"), this);
    quitButton_->setObjectName("quitButton");
    styleTinted(*quitButton_, accent::red, 4);
    // One row, within the width: the buttons speak as small as the status.
    for (QPushButton* button : {removeButton_, installButton_, quitButton_}) button->setFont(uiFont(11));
    status->addWidget(daemonDot_);
    status->addWidget(daemonText_, 1);
    status->addWidget(spinner_);
    status->addWidget(removeButton_);
    status->addWidget(installButton_);
    status->addWidget(quitButton_);
    column->addLayout(status);
    confirmation_ = buildRemoveConfirmation();
    column->addWidget(confirmation_);

    connect(removeButton_, &QPushButton::clicked, this, &PopoverFooter::askToRemove);
    connect(installButton_, &QPushButton::clicked, this, [this] {
        if (actions_.installHelper) actions_.installHelper();
    });
    connect(quitButton_, &QPushButton::clicked, this,
            [this] { quitRelease_.start(apps_, xpc_, actions_.terminate, &beast_); });

    auto redraw = [this](const auto&) { showState(); };
    subscriptions_.push_back(xpc_.helperInstalled.observe(redraw));
    subscriptions_.push_back(xpc_.helperActive.observe(redraw));
    subscriptions_.push_back(xpc_.isProcessing.observe(redraw));
    subscriptions_.push_back(xpc_.lastError.observe(redraw));
    showState();
}

PopoverFooter::~PopoverFooter() = default;

// Removing stops the helper: asked once, saying what happens to what it holds.
QWidget* PopoverFooter::buildRemoveConfirmation() {
    auto* box = new QWidget(this);
    box->setObjectName("removeConfirmation");
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    question_ = new QLabel(box);
    question_->setObjectName("removeQuestion");
    question_->setWordWrap(true);
    styleSecondary(*question_, 11);
    column->addWidget(question_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cancelButton_ = new QPushButton(uiText("Cancel"), box);
    cancelButton_->setObjectName("cancelRemoveButton");
    styleTinted(*cancelButton_, accent::grey);
    confirmButton_ = new QPushButton(uiText("Remove"), box);
    confirmButton_->setObjectName("confirmRemoveButton");
    styleTinted(*confirmButton_, accent::red);
    for (QPushButton* button : {cancelButton_, confirmButton_}) button->setFont(uiFont(11));
    buttons->addWidget(cancelButton_);
    buttons->addWidget(confirmButton_);
    column->addLayout(buttons);
    box->hide();

    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        hideRemoveConfirmation();
        removeButton_->setFocus(Qt::TabFocusReason);
    });
    connect(confirmButton_, &QPushButton::clicked, this, [this] {
        hideRemoveConfirmation();
        remove();
    });
    return box;
}

void PopoverFooter::showState() {
    const bool busy = xpc_.isProcessing.get();
    const bool installed = xpc_.helperInstalled.get();
    const bool active = xpc_.helperActive.get();
    // The setup and "not responding" cards show the error themselves; once is enough.
    showError(*error_, installed && active ? xpc_.lastError.get() : std::nullopt);
    daemonDot_->setColor(installed ? (active ? accent::green : accent::yellow) : accent::grey);
    daemonText_->setText(installed ? (active ? uiText("Daemon Active") : uiText("Daemon Installed"))
                                   : uiText("Daemon Not Installed"));
    removeButton_->setVisible(installed);
    removeButton_->setEnabled(!busy);
    if (!installed || busy) confirmation_->hide();
    installButton_->setVisible(!installed);
    installButton_->setEnabled(!busy);
    installButton_->setIcon(busy ? QIcon() : symbolIcon("arrow.down.circle", 12, systemAccent(palette())));
    spinner_->setVisible(!installed && busy);
}

void PopoverFooter::hideRemoveConfirmation() {
    confirmation_->hide();
    if (actions_.heightChanged) actions_.heightChanged();
}

void PopoverFooter::askToRemove() {
    const auto held = static_cast<std::int64_t>(xpc_.throttledPIDs->size());
    // The removal hands every process on the helper's records back before it
    // deletes anything, so nothing stays throttled; what goes is the means.
    question_->setText(
        held > 0 ? uiFormat("Remove the helper daemon? It first gives the %lld throttled processes their cores back; "
                            "after that nothing is throttled, jailed apps included, until you install it again.",
                            {held})
                 : uiText("Remove the helper daemon? Nothing is throttled now, and nothing can be, jailed apps "
                          "included, until you install it again."));
    confirmation_->show();
    if (actions_.heightChanged) actions_.heightChanged();
    cancelButton_->setFocus(Qt::TabFocusReason);
}

void PopoverFooter::remove() {
    if (!apps_.isFocusModeActive.get()) {
        if (actions_.removeHelper) actions_.removeHelper();
        return;
    }
    app::spawn(loop_, [apps = &apps_, xpc = &xpc_, remove = actions_.removeHelper]() -> app::Async<> {
        co_await apps->runFocusReleaseSequence(*xpc);
        if (remove) remove();
    });
}

}  // namespace korvane::ui
