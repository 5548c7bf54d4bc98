#include "app/ui/popover/core_group_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/popover/core_bar_view.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

CoreGroupView::CoreGroupView(const QString& label, const char* icon, QColor accentColor, QWidget* parent)
    : QWidget(parent), accent_(accentColor) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 8);
    column->setSpacing(5);

    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(symbolPixmap(icon, 10, devicePixelRatioF(), accent_));
    auto* title = new QLabel(label, this);
    styleLabel(*title, 10, QFont::DemiBold, accent_);
    average_ = new QLabel(this);
    average_->setObjectName("average");
    styleSecondary(*average_, 10, QFont::DemiBold);
    header->addWidget(iconLabel);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(average_);
    column->addLayout(header);

    barRow_ = new QHBoxLayout;
    barRow_->setSpacing(3);
    barRow_->setContentsMargins(0, 0, 0, 0);
    auto* barHolder = new QWidget(this);
    barHolder->setFixedHeight(32);
    barHolder->setLayout(barRow_);
    column->addWidget(barHolder);
    setUsages({});
}

std::int64_t CoreGroupView::averagePercent(const std::vector<app::CoreUsage>& usages) {
    if (usages.empty()) return 0;
    double sum = 0.0;
    for (const auto& core : usages) sum += core.usage;
    return percentOf(sum / static_cast<double>(usages.size()));
}

void CoreGroupView::setUsages(const std::vector<app::CoreUsage>& usages) {
    average_->setText(uiFormat("%lld%", {averagePercent(usages)}));
    std::vector<std::pair<std::int64_t, CoreBarView*>> kept;
    for (const auto& core : usages) {
        auto found = std::find_if(bars_.begin(), bars_.end(), [&](const auto& entry) { return entry.first == core.id; });
        CoreBarView* bar = nullptr;
        if (found != bars_.end()) {
            bar = found->second;
            bars_.erase(found);
        } else {
            bar = new CoreBarView(accent_, this);
        }
        bar->setUsage(core.usage);
        kept.emplace_back(core.id, bar);
    }
    for (auto& [id, stale] : bars_) delete stale;
    bars_ = std::move(kept);
    for (auto& [id, bar] : bars_) {
        barRow_->removeWidget(bar);
        barRow_->addWidget(bar);
        bar->show();
    }
}

QString CoreGroupView::averageText() const { return average_->text(); }

std::vector<CoreBarView*> CoreGroupView::bars() const {
    std::vector<CoreBarView*> result;
    for (const auto& entry : bars_) result.push_back(entry.second);
    return result;
}

void CoreGroupView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(accent_, 0.08));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

}  // namespace korvane::ui
