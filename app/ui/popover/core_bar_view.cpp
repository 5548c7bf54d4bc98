#include "app/ui/popover/core_bar_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "app/ui/popover/accessible_controls.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {
double clampedUsage(double usage) { return std::isfinite(usage) ? std::clamp(usage, 0.0, 1.0) : 0.0; }
}  // namespace

CoreBarView::CoreBarView(QColor accentColor, QWidget* parent) : QWidget(parent), accent_(accentColor) {
    // The group's strip places and sizes the bars; alone, a bar is 8 x 32.
    resize(sizeHint());
    animation_.setDuration(500);
    animation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        displayed_ = value.toDouble();
        update();
    });
    installAccessibleControls();
    setAccessibleName(uiText("CPU core"));
    setUsage(0.0);
}

void CoreBarView::setCores(std::int64_t first, std::int64_t last) {
    setAccessibleName(first == last ? uiFormat("CPU core %lld", {first})
                                    : uiFormat("CPU cores %lld to %lld", {first, last}));
}

void CoreBarView::setUsage(double usage) {
    usage_ = clampedUsage(usage);
    const std::int64_t percent = percentOf(usage_);
    setToolTip(uiFormat("Core: %lld%", {percent}));
    setAccessibleDescription(uiFormat("%lld percent busy", {percent}));
    animation_.stop();
    if (!isVisible() || displayed_ == usage_) {
        displayed_ = usage_;
        update();
        return;
    }
    animation_.setStartValue(displayed_);
    animation_.setEndValue(usage_);
    animation_.start();
}

double CoreBarView::barHeight(double available, double usage) {
    return std::max(1.0, available * clampedUsage(usage));
}

QColor CoreBarView::barColor(const QColor& accentColor, double usage) {
    if (usage > 0.85) return accentColor;
    if (usage > 0.5) return withOpacity(accentColor, 0.7);
    return withOpacity(accentColor, 0.4);
}

void CoreBarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track = rect();
    painter.setBrush(withOpacity(accent_, 0.08));
    painter.drawRoundedRect(track, 3, 3);
    const double height = barHeight(track.height(), displayed_);
    const QRectF bar(track.left(), track.bottom() - height, track.width(), height);
    // The shade follows the value the bar is heading to, so it never flickers
    // through the thresholds while animating.
    painter.setBrush(barColor(accent_, usage_));
    painter.drawRoundedRect(bar, std::min(3.0, height / 2), std::min(3.0, height / 2));
}

}  // namespace korvane::ui
