#include "app/ui/menu_windows/about_view.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/ui/menu_windows/helper_build.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

AboutView::AboutView(AboutFacts facts, app::XPCManager& xpc, std::function<void()> close, QWidget* parent)
    : QWidget(parent), facts_(std::move(facts)), xpc_(xpc) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 14);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* logo = new QLabel(this);
    logo->setPixmap(appLogoPixmap(48, devicePixelRatioF()));
    auto* title = new QLabel(uiText("app.name"), this);
    title->setFont(uiFont(20, QFont::Bold));
    auto* summary = new QLabel(uiText("Gives the application you focus the performance cores."), this);
    summary->setWordWrap(true);
    styleSecondary(*summary, 12);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(title);
    titles->addWidget(summary);
    header->addWidget(logo, 0, Qt::AlignTop);
    header->addLayout(titles, 1);
    column->addLayout(header);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft);
    form->setHorizontalSpacing(14);
    auto* version = new QLabel(text(facts_.version), this);
    version->setObjectName("version");
    auto* licence = new QLabel(text(facts_.licence), this);
    licence->setObjectName("licence");
    helper_ = new QLabel(this);
    helper_->setObjectName("helperVersion");
    helper_->setWordWrap(true);
    state_ = new QLabel(this);
    state_->setObjectName("helperState");
    state_->setWordWrap(true);
    for (QLabel* value : {version, licence, helper_, state_}) value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(uiText("Version"), version);
    form->addRow(uiText("Licence"), licence);
    form->addRow(uiText("Helper"), helper_);
    form->addRow(uiText("Helper state"), state_);
    column->addLayout(form);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* closeButton = new QPushButton(uiText("Close"), this);
    closeButton->setObjectName("closeButton");
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, [close] { close(); });
    buttons->addWidget(closeButton);
    column->addLayout(buttons);
    for (const auto& keys : {QKeySequence(QKeySequence::Cancel), QKeySequence(QKeySequence::Close)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [close] { close(); });
    }

    std::vector<app::Subscription> subscriptions;
    // An installation or removal while the window is open changes the build.
    subscriptions.push_back(xpc_.helperInstalled.observe([this](const bool&) {
        compareBuilds();
        showHelper();
    }));
    subscriptions.push_back(xpc_.helperActive.observe([this](const bool&) { showHelper(); }));
    keepWhileAlive(*this, std::move(subscriptions));
}

void AboutView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The state shown is the helper's now, not the last call's.
    compareBuilds();
    showHelper();
    xpc_.checkHelperStatus();
}

void AboutView::compareBuilds() {
    build_ = xpc_.helperInstalled.get() ? compareHelperBuilds(xpc_.helperExecutablePath(), facts_.shippedHelper)
                                        : HelperBuild::unknown;
}

void AboutView::showHelper() {
    const QString name = text(facts_.helperName);
    const QString shipped = name + QLatin1Char(' ') + text(facts_.helperVersion);
    const bool installed = xpc_.helperInstalled.get();
    if (!installed) {
        helper_->setText(uiText("%1 comes with this version; it is not installed.").arg(shipped));
    } else {
        switch (build_) {
        case HelperBuild::same:
            helper_->setText(shipped);
            break;
        case HelperBuild::different:
            helper_->setText(uiText("%1 installed from another build than this version's %2. Reinstall it from the "
                                    "popover to bring it in line.")
                                 .arg(name, shipped));
            break;
        case HelperBuild::unknown:
            // Not at the installed tool's place (a helper started by hand), or unreadable.
            helper_->setText(uiText("%1, of a build Korvane cannot tell; this version ships %2.").arg(name, shipped));
            break;
        }
    }
    if (xpc_.helperActive.get()) {
        state_->setText(uiText("Running and answering"));
    } else if (installed) {
        state_->setText(uiText("Installed, not responding"));
    } else {
        state_->setText(uiText("Not installed"));
    }
}

}  // namespace korvane::ui
