// The eight pages of the setup window. Texts are their own string-table keys.
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/runtime/string_table.h"
#include "app/ui/onboarding/onboarding_rows.h"
#include "app/ui/onboarding/onboarding_style.h"
#include "app/ui/onboarding/onboarding_view.h"
#include "app/ui/onboarding/onboarding_widgets.h"

namespace korvane::ui {

namespace {

using style::Weight;

QString t(const char* key) {
    return QString::fromStdString(app::localized(key));
}

// A page: its parts from top to bottom, centred in the space between the bars.
QWidget* page(std::initializer_list<QWidget*> parts, int spacing = 14) {
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(36, 10, 36, 6);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    for (QWidget* part : parts) layout->addWidget(part);
    layout->addStretch(1);
    return widget;
}

QWidget* column(std::initializer_list<QWidget*> parts, int spacing) {
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* part : parts) layout->addWidget(part);
    return widget;
}

QWidget* centredRow(std::initializer_list<QWidget*> parts, int spacing) {
    auto* widget = new QWidget;
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    for (QWidget* part : parts) layout->addWidget(part);
    layout->addStretch(1);
    return widget;
}

QWidget* evenRow(std::initializer_list<QWidget*> parts, int spacing) {
    auto* widget = new QWidget;
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* part : parts) layout->addWidget(part, 1);
    return widget;
}

QLabel* centred(const QString& text, int pixelSize, const QColor& colour = style::kSecondaryText,
                Weight weight = Weight::Regular) {
    return style::text(text, pixelSize, colour, weight, Qt::AlignCenter);
}

// A short status beside a symbol: one line, as wide as it needs.
QLabel* status(const QString& text, int pixelSize, const QColor& colour, Weight weight) {
    QLabel* label = style::text(text, pixelSize, colour, weight);
    label->setWordWrap(false);
    return label;
}

}  // namespace

QWidget* OnboardingView::welcomeStep() {
    const app::SystemSummary& system = dependencies_.system;
    auto* logo = new LogoView(76);
    auto* built = new QWidget;
    auto* builtRow = new QHBoxLayout(built);
    builtRow->setContentsMargins(0, 0, 0, 0);
    builtRow->setSpacing(6);
    builtRow->addStretch(1);
    builtRow->addWidget(new SymbolView("bolt.fill", 13, style::kOrange));
    builtRow->addWidget(
        status(t("Built for Intel Core 12th gen+ · Core Ultra · Ryzen AI 300 · ARM big.LITTLE"), 11,
               style::kSecondaryText, Weight::Medium));
    builtRow->addStretch(1);
    return page(
        {centredRow({logo}, 0),
         column({centred(t("Korvane"), 30, style::kPrimaryText, Weight::Bold),
                 centred(t("CPU Core Manager for hybrid processors"), 15)},
                2),
         centredRow({rows::infoChip("desktopcomputer", QString::fromStdString(system.model)),
                     rows::infoChip("cpu", QString::fromStdString(system.topology)),
                     rows::infoChip("memorychip", QString::fromStdString(system.memory))},
                    8),
         centred(t("Take direct control of your Performance and Efficiency cores\n"
                   "to supercharge creative and development workflows."),
                 13, style::kPrimaryText),
         built},
        16);
}

QWidget* OnboardingView::appleSliiconStep() {
    return page(
        {rows::pageHeader({}, {}, t("Understanding Hybrid CPUs"),
                          t("Your computer has two types of CPU cores with different strengths")),
         evenRow({rows::coreCard(
                      "bolt.fill", t("Performance Cores"), t("P-Cores"), style::kOrange,
                      {t("Maximum single-thread speed"), t("Ideal for rendering & compiling"),
                       t("Higher power consumption"), t("Best for your active work")}),
                  rows::coreCard("leaf.fill", t("Efficiency Cores"), t("E-Cores"), style::kCyan,
                                 {t("Power-efficient processing"), t("Background tasks & system"),
                                  t("Lower power consumption"), t("Perfect for idle apps")})},
                 12),
         rows::noteBox("lightbulb.fill", style::kOrange, {},
                       t("Linux shares all cores equally. Korvane changes this —\n"
                         "giving your important app exclusive P-Core access."))});
}

QWidget* OnboardingView::focusModeStep() {
    auto* flow = column(
        {rows::flowStep("hand.tap.fill", t("Select your target app (e.g. Blender, Kdenlive)"),
                        style::kBlue),
         rows::flowConnector(),
         rows::flowStep("bolt.circle.fill", t("Press \"Focus Now\" to activate"), style::kOrange),
         rows::flowConnector(),
         rows::flowStep("cpu", t("Target app gets exclusive P-Core access"), style::kGreen),
         rows::flowConnector(),
         rows::flowStep("arrow.right.circle.fill", t("All other apps pushed to E-Cores"),
                        style::kCyan)},
        2);
    return page({rows::pageHeader("cpu", style::kAccent, t("Focus Mode"),
                                  t("Your primary tool for instant performance boost")),
                 flow,
                 rows::noteBox("speedometer", style::kGreen, t("Result"),
                               t("Your app gets up to 100% of P-Core compute power.\n"
                                 "Background apps still run — just on efficient cores."))});
}

QWidget* OnboardingView::beastModeStep() {
    return page(
        {rows::pageHeader({}, {}, t("Automatic Modes"),
                          t("Set it and forget it — Korvane works in the background")),
         rows::modeCard(
             "wand.and.stars", t("Auto-Focus"), {}, style::kPurple,
             t("Watches which app is in the foreground. When your target comes to front, Focus "
               "activates automatically."),
             t("Working in Blender → Focus on. Switch to Firefox → off. Switch back → on.")),
         rows::modeCard(
             "bolt.fill", t("Beast Mode"), t("(Auto-Trigger)"), style::kRed,
             t("The daemon scans all processes and forces everything except your target to "
               "E-Cores at the system level."),
             t("Blender opens → every other GUI app is instantly throttled. Even apps that "
               "launch later.")),
         rows::noteBox("info.circle.fill", style::kBlue, {},
                       t("Auto-Focus works at app level. Beast Mode at system level.\n"
                         "Only one active at a time — they don't conflict."))},
        12);
}

QWidget* OnboardingView::extraFeaturesStep() {
    return page(
        {rows::pageHeader({}, {}, t("Additional Features"), {}),
         rows::featureRow("lock.fill", t("E-Core Jail"),
                          t("Permanently lock background apps to efficiency cores"), style::kRed),
         rows::featureRow("fan.fill", t("Fan Control"),
                          t("Monitor temperature and manually control fan speed"), style::kBlue),
         rows::featureRow("chart.bar.fill", t("Live Core Monitor"),
                          t("Real-time per-core CPU usage with heatmap in the panel's tray"),
                          style::kGreen)},
        12);
}

QWidget* OnboardingView::howItWorksStep() {
    auto* points = column(
        {rows::keyPoint("lock.shield.fill", t("One-time admin password — never asked again")),
         // Only a systemd service comes back by itself after a reboot.
         rows::keyPoint("arrow.clockwise.circle.fill",
                        dependencies_.systemdRunning
                            ? t("Daemon auto-starts on boot — always ready")
                            : t("No systemd here — after a reboot, press Reinstall in the popover")),
         rows::keyPoint("xmark.circle.fill", t("Fully removable — clean uninstall anytime")),
         rows::keyPoint("cpu", t("Uses the kernel's own CPU affinity and idle scheduling"))},
        5);
    auto* layers =
        column({rows::archRow("app.badge.fill", t("Korvane App"),
                              t("Tray icon and popover — your control panel"), style::kBlue),
                rows::archConnector(t("Local socket (root only)")),
                rows::archRow("shield.lefthalf.filled", t("Helper Daemon (root)"),
                              t("Privileged service — makes the scheduling calls itself"), style::kOrange),
                rows::archConnector(t("System API")),
                rows::archRow("cpu", t("Linux Kernel"),
                              t("CPU scheduling — assigns threads to P/E cores"), style::kGreen)},
               2);
    return page({rows::pageHeader("gearshape.2.fill", style::kSecondaryText, t("How It Works"),
                                  t("The technical architecture behind Korvane")),
                 layers, points},
                10);
}

QWidget* OnboardingView::installStep() {
    logArea_ = new QScrollArea;
    logArea_->setObjectName(QStringLiteral("installLog"));
    logArea_->setWidgetResizable(true);
    logArea_->setFixedHeight(150);
    logArea_->setFrameShape(QFrame::NoFrame);
    logArea_->setStyleSheet(
        QStringLiteral("QScrollArea#installLog { background: white; border: 1px solid %1;"
                       " border-radius: 8px; }")
            .arg(style::css(QColor(0xe0, 0xe0, 0xe5))) +
        style::thinScrollBars());
    auto* rowsHolder = new QWidget;
    rowsHolder->setObjectName(QStringLiteral("installLogRows"));
    rowsHolder->setStyleSheet(QStringLiteral("QWidget#installLogRows { background: white; }"));
    logRows_ = new QVBoxLayout(rowsHolder);
    logRows_->setContentsMargins(12, 9, 12, 9);
    logRows_->setSpacing(5);
    logRows_->addStretch(1);
    logArea_->setWidget(rowsHolder);

    installButton_ = makeButton(t("Install Helper"), ButtonRole::Primary, "arrow.down.circle.fill");
    installButton_->setObjectName(QStringLiteral("installButton"));
    connect(installButton_, &QPushButton::clicked, this, [this] { runInstall(); });
    installIdle_ = centredRow({installButton_}, 0);

    busyLabel_ = status(t("Installing..."), 13, style::kSecondaryText, Weight::Regular);
    installBusy_ = centredRow({new BusyIndicator(16), busyLabel_}, 8);
    installBusy_->setObjectName(QStringLiteral("installBusy"));

    doneLabel_ = status(t("Helper installed successfully!"), 13, style::kGreen, Weight::Medium);
    doneLabel_->setObjectName(QStringLiteral("installDoneText"));
    installDone_ = centredRow({new SymbolView("checkmark.circle.fill", 17, style::kGreen), doneLabel_}, 6);
    installDone_->setObjectName(QStringLiteral("installDone"));

    installErrorLabel_ = centred({}, 12, style::kRed, Weight::Medium);
    installErrorLabel_->setObjectName(QStringLiteral("installError"));
    retryButton_ = makeButton(t("Retry"), ButtonRole::Primary, "arrow.clockwise");
    retryButton_->setObjectName(QStringLiteral("retryButton"));
    connect(retryButton_, &QPushButton::clicked, this, [this] { runInstall(); });

    // Where nothing can ask for a password (no polkit agent or authority),
    // the one line to run in a terminal instead.
    auto* command = new QLineEdit(QString::fromStdString(dependencies_.terminalCommand));
    command->setObjectName(QStringLiteral("terminalCommand"));
    command->setAccessibleName(t("Command to run in a terminal"));
    command->setReadOnly(true);
    command->setCursorPosition(0);
    command->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: 1px solid %1; border-radius: 6px;"
                                          " padding: 4px 6px; font-family: monospace; font-size: 11px; }")
                               .arg(style::css(QColor(0xe0, 0xe0, 0xe5))));
    QPushButton* copy = makeButton(t("Copy"), ButtonRole::Secondary);
    copy->setObjectName(QStringLiteral("copyCommandButton"));
    connect(copy, &QPushButton::clicked, this, [command] {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(command->text());
    });
    auto* commandRow = new QWidget;
    auto* commandLayout = new QHBoxLayout(commandRow);
    commandLayout->setContentsMargins(0, 0, 0, 0);
    commandLayout->setSpacing(6);
    commandLayout->addWidget(command, 1);
    commandLayout->addWidget(copy);
    terminalBox_ = column({centred(t("Run this in a terminal instead, then press Check again:"),
                                   12, style::kSecondaryText),
                           commandRow},
                          6);
    terminalBox_->setObjectName(QStringLiteral("terminalBox"));
    checkAgainButton_ = makeButton(t("Check again"), ButtonRole::Primary, "arrow.clockwise");
    checkAgainButton_->setObjectName(QStringLiteral("checkAgainButton"));
    connect(checkAgainButton_, &QPushButton::clicked, this, [this] { checkAgain(); });
    installFailed_ =
        column({installErrorLabel_, terminalBox_, centredRow({retryButton_, checkAgainButton_}, 8)}, 8);

    return page(
        {rows::pageHeader("shield.lefthalf.filled", style::kOrange, t("Install Helper Daemon"),
                          t("Korvane needs a privileged helper to manage CPU scheduling.\n"
                            "This requires one-time administrator approval.")),
         logArea_, installIdle_, installBusy_, installDone_, installFailed_},
        12);
}

QWidget* OnboardingView::doneStep() {
    return page(
        {rows::pageHeader("checkmark.seal.fill", style::kGreen, t("You're All Set!"),
                          t("Korvane is ready. You'll find it in your panel's tray.\n"
                            "Click the icon to start optimizing.")),
         evenRow({rows::tipView("cursorarrow.click.2", t("Click the tray icon\nto open controls")),
                  rows::tipView("cpu", t("Select an app\nto focus P-Cores")),
                  rows::tipView("bolt.fill", t("Add apps to\nAuto-Trigger list"))},
                 12)},
        22);
}

}  // namespace korvane::ui
