#include "app/ui/popover/core_group_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/ui/popover/accessible_controls.h"
#include "app/ui/popover/core_bar_view.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

CoreGroupView::CoreGroupView(const QString& label, const char* icon, QColor accentColor, QWidget* parent)
    : QWidget(parent), accent_(accentColor) {
    installAccessibleControls();
    setAccessibleName(label);
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

    strip_ = new QWidget(this);
    strip_->setFixedHeight(kStripHeight);
    strip_->installEventFilter(this);
    column->addWidget(strip_);
    setUsages({});
}

int CoreGroupView::coresPerBar(std::size_t cores) {
    return cores <= kMostBars ? 1 : static_cast<int>((cores + kMostBars - 1) / kMostBars);
}

std::int64_t CoreGroupView::averagePercent(const std::vector<app::CoreUsage>& usages) {
    if (usages.empty()) return 0;
    double sum = 0.0;
    for (const auto& core : usages) sum += core.usage;
    return percentOf(sum / static_cast<double>(usages.size()));
}

void CoreGroupView::setUsages(const std::vector<app::CoreUsage>& usages) {
    const std::int64_t average = averagePercent(usages);
    average_->setText(uiFormat("%lld%", {average}));
    setAccessibleDescription(uiFormat("Average %lld percent busy", {average}));
    const std::size_t perBar = static_cast<std::size_t>(coresPerBar(usages.size()));
    std::vector<std::pair<std::int64_t, CoreBarView*>> kept;
    for (std::size_t first = 0; first < usages.size(); first += perBar) {
        const std::size_t end = std::min(usages.size(), first + perBar);
        const std::vector<app::CoreUsage> run(usages.begin() + static_cast<std::ptrdiff_t>(first),
                                              usages.begin() + static_cast<std::ptrdiff_t>(end));
        const std::int64_t id = run.front().id;
        auto found = std::find_if(bars_.begin(), bars_.end(), [&](const auto& entry) { return entry.first == id; });
        CoreBarView* bar = nullptr;
        if (found != bars_.end()) {
            bar = found->second;
            bars_.erase(found);
        } else {
            bar = new CoreBarView(accent_, strip_);
        }
        double sum = 0.0;
        for (const auto& core : run) sum += core.usage;
        bar->setUsage(sum / static_cast<double>(run.size()));
        bar->setCores(id, run.back().id);
        if (run.size() > 1) {
            bar->setToolTip(uiFormat("Cores %lld–%lld: %lld%", {id, run.back().id, averagePercent(run)}));
        }
        kept.emplace_back(id, bar);
    }
    for (auto& [id, stale] : bars_) delete stale;
    bars_ = std::move(kept);
    layOutBars();
    for (auto& [id, bar] : bars_) bar->show();
}

bool CoreGroupView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == strip_ && event->type() == QEvent::Resize) layOutBars();
    return QWidget::eventFilter(watched, event);
}

void CoreGroupView::layOutBars() {
    if (bars_.empty()) return;
    constexpr double kGap = 3.0;
    constexpr double kRowGap = 4.0;
    const int count = static_cast<int>(bars_.size());
    const int columns = std::min(count, kBarsPerRow);
    const int rows = (count + columns - 1) / columns;
    const double pitch = (strip_->width() + kGap) / columns;
    const double rowPitch = (kStripHeight + kRowGap) / rows;
    for (int i = 0; i < count; ++i) {
        // Whole pixels, edges from the same rounding, so the gaps stay even.
        const int column = i % columns;
        const int row = i / columns;
        const int left = static_cast<int>(std::lround(column * pitch));
        const int right = static_cast<int>(std::lround((column + 1) * pitch - kGap));
        const int top = static_cast<int>(std::lround(row * rowPitch));
        const int bottom = static_cast<int>(std::lround((row + 1) * rowPitch - kRowGap));
        bars_[static_cast<std::size_t>(i)].second->setGeometry(left, top, std::max(1, right - left),
                                                               std::max(1, bottom - top));
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
