#include "app/ui/menu_windows/throttled_now_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

namespace {

enum Column { kName, kPid, kCpus, kWhy };

}  // namespace

QString ThrottledNowView::reasonText(unsigned reasons) {
    QStringList why;
    if (reasons & app::kThrottledForFocus) why << uiText("Focus");
    if (reasons & app::kThrottledForBeastMode) why << uiText("Beast Mode");
    if (reasons & app::kThrottledForJail) why << uiText("E-Core Jail");
    return why.isEmpty() ? uiText("Not by Korvane now") : why.join(QStringLiteral(", "));
}

ThrottledNowView::ThrottledNowView(app::ThrottledProcessesManager& manager, app::XPCManager& xpc,
                                   const app::ECoreJailManager& jail, std::function<void()> close, QWidget* parent)
    : QWidget(parent), manager_(manager), xpc_(xpc), jail_(jail) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(8);

    auto* title = new QLabel(uiText("Throttled Now"), this);
    title->setFont(uiFont(18, QFont::Bold));
    auto* explanation =
        new QLabel(uiText("Processes running in the background right now: on the efficiency cores where the machine "
                          "has them, at the lowest priority."),
                   this);
    explanation->setWordWrap(true);
    styleSecondary(*explanation, 11);
    column->addWidget(title);
    column->addWidget(explanation);

    list_ = new QTreeWidget(this);
    list_->setObjectName("processList");
    list_->setAccessibleName(uiText("Throttled processes"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setHeaderLabels({uiText("Name"), uiText("PID"), uiText("CPUs"), uiText("Why")});
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(kWhy, QHeaderView::ResizeToContents);
    for (int fixed : {kPid, kCpus}) list_->header()->setSectionResizeMode(fixed, QHeaderView::ResizeToContents);
    column->addWidget(list_, 1);

    empty_ = new QLabel(uiText("Nothing is throttled."), this);
    empty_->setObjectName("emptyNotice");
    empty_->setAlignment(Qt::AlignCenter);
    styleSecondary(*empty_, 12);
    column->addWidget(empty_, 1);

    note_ = new QLabel(uiText("The E-Core Jail is on: its applications are confined again within 5 seconds of a "
                              "release."),
                       this);
    note_->setObjectName("jailNote");
    note_->setWordWrap(true);
    styleSecondary(*note_, 11);
    column->addWidget(note_);
    error_ = new QLabel(this);
    error_->setObjectName("errorText");
    error_->setWordWrap(true);
    styleLabel(*error_, 11, QFont::Normal, accent::red);
    column->addWidget(error_);

    auto* buttons = new QHBoxLayout;
    release_ = new QPushButton(uiText("Release all"), this);
    release_->setObjectName("releaseAllButton");
    auto* closeButton = new QPushButton(uiText("Close"), this);
    closeButton->setObjectName("closeButton");
    buttons->addWidget(release_);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    column->addLayout(buttons);
    connect(release_, &QPushButton::clicked, this, [this] { manager_.releaseAll(); });
    connect(closeButton, &QPushButton::clicked, this, [close] { close(); });
    for (const auto& keys : {QKeySequence(QKeySequence::Cancel), QKeySequence(QKeySequence::Close)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [close] { close(); });
    }

    std::vector<app::Subscription> subscriptions;
    subscriptions.push_back(manager_.processes.publisher().subscribe([this](const auto&) { showProcesses(); }));
    auto follow = [this](const auto&) { updateState(); };
    subscriptions.push_back(manager_.readError.observe(follow));
    subscriptions.push_back(manager_.releaseError.observe(follow));
    subscriptions.push_back(manager_.isReleasing.observe(follow));
    subscriptions.push_back(xpc_.helperActive.observe(follow));
    subscriptions.push_back(jail_.isEnabled.observe(follow));
    keepWhileAlive(*this, std::move(subscriptions));
}

void ThrottledNowView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    manager_.startWatching();
}

void ThrottledNowView::hideEvent(QHideEvent* event) {
    manager_.stopWatching();
    QWidget::hideEvent(event);
}

void ThrottledNowView::showProcesses() {
    const auto& processes = manager_.processes.get();
    list_->clear();
    for (const auto& process : processes) {
        auto* row = new QTreeWidgetItem(list_);
        row->setText(kName, QString::fromStdString(process.name));
        row->setText(kPid, QString::number(process.pid));
        row->setTextAlignment(kPid, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(kCpus, QString::fromStdString(process.cpus));
        row->setText(kWhy, reasonText(process.reasons));
        if (process.reasons == 0) {
            row->setToolTip(kWhy, uiText("Confined by an earlier Korvane session or by another program."));
            row->setForeground(kWhy, secondaryText(palette()));
        }
    }
    updateState();
}

void ThrottledNowView::updateState() {
    const bool anything = !manager_.processes->empty();
    list_->setVisible(anything);
    empty_->setVisible(!anything);
    note_->setVisible(jail_.isEnabled.get());
    QString error;
    if (manager_.readError.get()) {
        error = uiText("Cannot read what is throttled: %1").arg(QString::fromStdString(*manager_.readError.get()));
    }
    if (manager_.releaseError.get()) {
        error = uiText("Not everything was released: %1").arg(QString::fromStdString(*manager_.releaseError.get()));
    }
    error_->setText(error);
    error_->setVisible(!error.isEmpty());
    release_->setEnabled(anything && xpc_.helperActive.get() && !manager_.isReleasing.get());
    release_->setToolTip(xpc_.helperActive.get()
                             ? uiText("Gives every process the helper holds its cores back; focus mode ends.")
                             : uiText("The helper is not running, so nothing can be released."));
}

}  // namespace korvane::ui
