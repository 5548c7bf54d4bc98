#include "app/shell/tray_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/shell/status_bar_controller.h"

namespace korvane::app {

namespace {

QString text(std::string_view key) { return QString::fromStdString(localized(key)); }

}  // namespace

TrayMenu::TrayMenu(SettingsStore& settings, std::shared_ptr<NotificationManager> notifications, LoginItem* loginItem,
                   Actions actions)
    : settings_(settings),
      notifications_(std::move(notifications)),
      loginItem_(loginItem),
      actions_(std::move(actions)),
      menu_(std::make_unique<QMenu>()) {
    menu_->addAction(text("Open Korvane"), this, [this] {
        if (actions_.openPopover) actions_.openPopover();
    });
    if (actions_.showThrottledNow) {
        menu_->addAction(text("Throttled Now…"), this, [this] { actions_.showThrottledNow(); });
    }
    menu_->addSeparator();

    heatmap_ = menu_->addAction(text("Show Heatmap in Tray"));
    heatmap_->setCheckable(true);
    connect(heatmap_, &QAction::toggled, this, [this](bool on) {
        if (on != settings_.boolValue(StatusBarController::kHeatmapSetting)) {
            settings_.setBool(StatusBarController::kHeatmapSetting, on);
        }
    });

    notificationsItem_ = menu_->addAction(text("Notifications"));
    notificationsItem_->setCheckable(true);
    connect(notificationsItem_, &QAction::toggled, this, [this](bool on) {
        if (!notifications_ || on == notifications_->isEnabled.get()) return;
        // An assignment of true asks the desktop again; its answer decides
        // whether anything will be shown.
        awaitingPermission_ = on;
        notifications_->isEnabled = on;
        showNotificationsNote();
    });
    notificationsNote_ = menu_->addAction(text("Nothing will be shown: no notification server answers"));
    notificationsNote_->setEnabled(false);
    if (notifications_) {
        authorization_ = notifications_->isAuthorized.observe([this](const bool& granted) {
            showNotificationsNote();
            if (!std::exchange(awaitingPermission_, false) || granted || !notifications_->isEnabled.get()) return;
            tell(text("Notifications are on, but no notification server answers on this desktop, so nothing will "
                      "be shown. Start one (the desktop's own, or dunst) and tick Notifications again."));
        });
    }

    if (loginItem_) {
        login_ = menu_->addAction(text("Start at Login"));
        login_->setCheckable(true);
        connect(login_, &QAction::toggled, this, [this](bool on) { loginToggled(on); });
    }
    menu_->addSeparator();
    if (actions_.showAbout) menu_->addAction(text("About Korvane"), this, [this] { actions_.showAbout(); });
    menu_->addAction(text("Quit Korvane"), this, [this] {
        if (actions_.quit) actions_.quit();
    });

    // The settings can change from outside; the checks follow at each opening.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { followOutsideChanges(); });
    followOutsideChanges();
}

TrayMenu::~TrayMenu() { delete message_.data(); }

void TrayMenu::followOutsideChanges() {
    const QSignalBlocker heatmap(heatmap_);
    heatmap_->setChecked(settings_.boolValue(StatusBarController::kHeatmapSetting));
    const QSignalBlocker notifications(notificationsItem_);
    notificationsItem_->setChecked(notifications_ && notifications_->isEnabled.get());
    showNotificationsNote();
    if (login_) {
        const QSignalBlocker login(login_);
        login_->setChecked(loginItem_->isEnabled());
    }
}

void TrayMenu::showNotificationsNote() {
    notificationsNote_->setVisible(notifications_ && notifications_->isEnabled.get() &&
                                   !notifications_->isAuthorized.get());
}

void TrayMenu::loginToggled(bool on) {
    if (on == loginItem_->isEnabled()) return;
    auto changed = loginItem_->setEnabled(on);
    if (changed) {
        logLine(on ? "Start at Login: on (" + loginItem_->entryPath() + ")" : "Start at Login: off");
        return;
    }
    logLine("Start at Login: " + changed.error());
    {
        const QSignalBlocker block(login_);
        login_->setChecked(!on);
    }
    if (on && !loginItem_->shipsEntry()) {
        offerOwnEntry();
        return;
    }
    const QString why = on ? text("Korvane could not be set to start at login: %1")
                           : text("Korvane could not stop starting at login: %1");
    tell(why.arg(QString::fromStdString(changed.error())));
}

void TrayMenu::offerOwnEntry() {
    const QString program = QCoreApplication::applicationFilePath();
    QMessageBox* question =
        tell(text("This installation has no autostart entry to copy (%1), so Start at Login has nothing to turn "
                  "on.\n\nKorvane can write an entry of its own that starts %2 when you log in.")
                 .arg(QString::fromStdString(loginItem_->shippedEntryPath()), program),
             QMessageBox::Cancel);
    question->setIcon(QMessageBox::Question);
    QPushButton* write = question->addButton(text("Write Entry"), QMessageBox::AcceptRole);
    write->setObjectName("writeEntryButton");
    question->setDefaultButton(write);
    connect(write, &QPushButton::clicked, this, [this, program] {
        auto written = loginItem_->writeEntryStarting(program.toStdString());
        if (!written) {
            logLine("Start at Login: " + written.error());
            tell(text("Korvane could not be set to start at login: %1").arg(QString::fromStdString(written.error())));
            return;
        }
        logLine("Start at Login: on, with an entry of its own (" + loginItem_->entryPath() + ")");
        followOutsideChanges();
    });
}

QMessageBox* TrayMenu::tell(const QString& message, QMessageBox::StandardButtons buttons) {
    // One at a time: a new message replaces the one still open.
    if (message_) message_->deleteLater();
    auto* box = new QMessageBox(QMessageBox::Information, text("app.name"), message, buttons);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName("trayMenuMessage");
    message_ = box;
    box->open();
    return box;
}

}  // namespace korvane::app
