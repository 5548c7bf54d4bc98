#include "app/ui/popover/core_visualizer_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/popover/core_group_view.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

CoreVisualizerView::CoreVisualizerView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->setSpacing(5);
    auto* icon = new QLabel(this);
    icon->setPixmap(symbolPixmap("cpu", 12, devicePixelRatioF(), secondaryText(palette())));
    auto* title = new QLabel(uiText("core.visualizer.title"), this);
    styleSecondary(*title, 11, QFont::DemiBold);
    counts_ = new QLabel(this);
    counts_->setObjectName("coreCounts");
    styleSecondary(*counts_, 10);
    header->addWidget(icon);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(counts_);
    column->addLayout(header);

    pGroup_ = new CoreGroupView(uiText("core.visualizer.pcores"), "bolt.fill", accent::orange, this);
    eGroup_ = new CoreGroupView(uiText("core.visualizer.ecores"), "leaf.fill", accent::cyan, this);
    column->addWidget(pGroup_);
    column->addWidget(eGroup_);

    // Without efficiency cores "E-cores" would be a promise the machine cannot
    // keep: say what confinement means here instead.
    oneKind_ = new QLabel(
        uiText("All cores are of one kind: other apps get the lowest priority instead of E-cores"), this);
    oneKind_->setObjectName("oneKindNote");
    oneKind_->setWordWrap(true);
    styleSecondary(*oneKind_, 10);
    oneKind_->hide();
    column->addWidget(oneKind_);
    setCoreCounts(0, 0);
}

void CoreVisualizerView::setCoreCounts(std::int64_t pCoreCount, std::int64_t eCoreCount) {
    counts_->setText(uiFormat("%lldP + %lldE", {pCoreCount, eCoreCount}));
    oneKind_->setVisible(pCoreCount > 0 && eCoreCount == 0);
}

void CoreVisualizerView::setPCoreUsages(const std::vector<app::CoreUsage>& usages) { pGroup_->setUsages(usages); }
void CoreVisualizerView::setECoreUsages(const std::vector<app::CoreUsage>& usages) { eGroup_->setUsages(usages); }

QString CoreVisualizerView::countsText() const { return counts_->text(); }

}  // namespace korvane::ui
