// Renders the popover in each state and each window, and compares every
// render with its reviewed reference (tests/ui/references/NAME@Nx.png); every
// render is also written to the build folder for review.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "app/shell/heatmap_icon_manager.h"
#include "app/ui/popover/application_picker.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/list_window_slot.h"
#include "app/ui/popover/row_button.h"
#include "app/ui/popover/app_row.h"
#include "app/ui/symbols/symbol_image.h"
#include "tests/ui/popover_world.h"
#include "tests/ui/reference_image.h"

#ifndef KORVANE_UI_REFERENCES
#error "KORVANE_UI_REFERENCES names the folder of the reference renders"
#endif

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

class ScreenshotTest : public PopoverWorld {
protected:
    void SetUp() override {
        // The drawings compiled in, not whatever icon theme this machine has.
        ui::setSymbolSource(ui::SymbolSource::BundledOnly);
        PopoverWorld::SetUp();
    }

    // Also written to renders/ in the build folder, for review.
    void matchesReference(QWidget& widget, const QString& name) {
        QTest::qWait(600);  // let the bars finish their ease-out
        matches(widget.grab().toImage(), name);
    }

    static void matches(const QImage& render, const QString& name) {
        const QString file = QStringLiteral("%1@%2x.png").arg(name).arg(qRound(render.devicePixelRatio()));
        QDir().mkpath("renders");
        render.save("renders/" + file);
        expectMatchesReference(render, QStringLiteral(KORVANE_UI_REFERENCES "/") + file, 0.01, 40);
    }

    // At its natural height, where it must fit its width too.
    void popoverMatches(ui::ContentView& popover, const QString& name) {
        popover.resize(ui::ContentView::kWidth, popover.naturalHeight());
        matchesReference(popover, name);
        expectFits(popover);
    }
};

// Each state of the helper and of focus, the states in which the popover
// once grew past its width among them.
TEST_F(ScreenshotTest, Popover) {
    auto& popover = shownView();
    popoverMatches(popover, "popover-main");

    QTest::mouseClick(popover.appRows()[0], Qt::LeftButton);
    popover.focusButton()->click();
    pump();
    autoTrigger->isBeastModeActive = true;
    autoTrigger->isEnabled = true;
    jail->isEnabled = true;
    settle();
    popoverMatches(popover, "popover-focused");
    autoTrigger->isBeastModeActive = false;
    popover.releaseButton()->click();
    pump();
    // Cancelling the removal hands the focus back to Remove Daemon, marked in the next renders.
    popover.removeDaemonButton()->click();
    popover.cancelRemoveButton()->click();

    xpc->helperActive = false;
    xpc->lastError = std::string(app::XPCManager::kNotRespondingError);
    popoverMatches(popover, "popover-not-responding");

    xpc->helperInstalled = false;
    xpc->lastError = std::nullopt;
    popoverMatches(popover, "popover-setup");
    // A failed installation's advice fits too, long as it is.
    xpc->lastError = std::string(app::XPCManager::kNoApprovalError) +
                     " Install from a terminal instead: sudo /usr/local/share/korvane/install_helper.sh "
                     "/usr/local/lib/korvane/com.korvane.helper 1000";
    expectFits(popover);
}

// A dark desktop: text and grounds follow the palette, the accents stay.
TEST_F(ScreenshotTest, PopoverOnADarkDesktop) {
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3d));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    QApplication::setPalette(dark);
    auto& popover = shownView();
    QTest::mouseClick(popover.appRows()[1], Qt::LeftButton);
    popoverMatches(popover, "popover-dark");
    QApplication::setPalette(light);
}

// Twenty-five applications, one with a 60-character name, on a short screen:
// the list gives up height so one scroll bar is enough, down to a very short
// one. Only the name cut short has its whole text as its tooltip.
TEST_F(ScreenshotTest, ManyApplicationsOnAShortScreen) {
    const QString longName = "Aardvark Quarterly Financial Projections and Forecast Studio";
    workspace.add(FakeWorkspace::regular(150, longName.toStdString()));
    for (std::int32_t pid = 200; pid < 221; ++pid)
        workspace.add(FakeWorkspace::regular(pid, "App " + std::to_string(pid), "app" + std::to_string(pid)));
    auto& popover = shownView();
    for (ui::AppRow* row : popover.appRows()) {
        EXPECT_EQ(row->toolTip(), row->app().name == longName ? longName : QString());
    }
    popover.resize(ui::ContentView::kWidth, 760);
    matchesReference(popover, "popover-many");
    expectFits(popover, 300);
}

TEST_F(ScreenshotTest, ListWindows) {
    auto& popover = makeView();
    autoTrigger->addApp("Blender", "org.blender.Blender");
    autoTrigger->addApp("Steam", "steam");
    autoTrigger->isEnabled = true;
    popover.autoTriggerRow()->click();
    loop.advanceBy(700ms);
    matchesReference(*popover.autoTriggerWindow().window(), "window-auto-trigger");

    popover.autoFocusTargetsRow()->click();
    loop.advanceBy(700ms);
    matchesReference(*popover.autoFocusWindow().window(), "window-auto-focus-empty");

    jail->addApp(entries.write("applications/org.gnome.Calculator.desktop",
                               "[Desktop Entry]\nType=Application\nName=Calculator\n"));
    jail->addApp(entries.write("applications/firefox-esr.desktop",
                               "[Desktop Entry]\nType=Application\nName=Firefox ESR\n"));
    settle();
    popover.jailRow()->click();
    loop.advanceBy(700ms);
    matchesReference(*popover.jailWindow().window(), "window-jail-off");
}

TEST_F(ScreenshotTest, Picker) {
    entries.write("applications/org.gnome.Calculator.desktop", "[Desktop Entry]\nType=Application\nName=Calculator\n");
    entries.write("applications/firefox-esr.desktop", "[Desktop Entry]\nType=Application\nName=Firefox ESR\n");
    entries.write("applications/kde4/konsole.desktop", "[Desktop Entry]\nType=Application\nName=Konsole\n");
    ui::ApplicationPicker picker({QString::fromStdString(entries.root())});
    picker.show();
    picker.list()->topLevelItem(1)->setSelected(true);
    matchesReference(picker, "picker");
}

// From a laptop to a server: the popover's bars at the width the popover
// gives them, and the tray's heatmap at its real 18 points and magnified four
// times, for 8, 24, 64 and 256 logical CPUs.
TEST_F(ScreenshotTest, ManyCores) {
    struct Machine {
        const char* name;
        int performance, efficiency;
    };
    for (Machine machine : {Machine{"cores-8", 4, 4}, Machine{"cores-24", 16, 8}, Machine{"cores-64", 32, 32},
                            Machine{"cores-256", 256, 0}}) {
        SCOPED_TRACE(machine.name);
        // Usages that vary from core to core and reach every colour band.
        auto usages = [](int count, int firstId, bool performance) {
            std::vector<app::CoreUsage> list;
            for (int i = 0; i < count; ++i)
                list.push_back({firstId + i, ((firstId + i) * 37 % 101) / 100.0, performance});
            return list;
        };
        const auto p = usages(machine.performance, 0, true);
        const auto e = usages(machine.efficiency, machine.performance, false);
        ui::CoreVisualizerView panel;
        panel.setFixedWidth(272);
        panel.setCoreCounts(machine.performance, machine.efficiency);
        panel.setPCoreUsages(p);
        panel.setECoreUsages(e);
        panel.adjustSize();
        panel.show();
        QTest::qWait(600);  // let the bars finish their ease-out
        const QImage bars = panel.grab().toImage();

        // Laid out in points; every part keeps its pixels per point.
        const qreal scale = bars.devicePixelRatio();
        auto heatmap = app::HeatmapIconManager::createHeatmapImage(p, e);
        const QImage icon = heatmap->render(QSize(qRound(18 * scale), qRound(18 * scale)), scale, Qt::black);
        const QImage magnified = heatmap->render(QSize(qRound(72 * scale), qRound(72 * scale)), 4 * scale, Qt::black);
        const QSizeF barsSize = QSizeF(bars.size()) / scale;
        QImage composite(QSizeF(barsSize.width() + 104, std::max(barsSize.height(), 112.0)).toSize() * scale,
                         QImage::Format_ARGB32);
        composite.setDevicePixelRatio(scale);
        composite.fill(Qt::white);
        QPainter painter(&composite);
        painter.drawImage(QRectF(8, 8, 18, 18), icon);
        painter.drawImage(QRectF(8, 34, 72, 72), magnified);
        painter.drawImage(QRectF(QPointF(104, 0), barsSize), bars);
        painter.end();
        matches(composite, QString::fromLatin1(machine.name));
    }
}

}  // namespace
}  // namespace korvane::testing
