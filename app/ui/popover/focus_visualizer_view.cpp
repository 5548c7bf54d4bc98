#include "app/ui/popover/focus_visualizer_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {
constexpr int kIcon = 24;
constexpr int kSpacing = 5;
}  // namespace

AppIconView::AppIconView(AppEntry app, QColor color, QWidget* parent)
    : QWidget(parent), app_(std::move(app)), color_(color) {
    setFixedSize(kIcon, kIcon);
    setToolTip(app_.name);
    setAccessibleName(app_.name);
}

QString AppIconView::placeholderLetter(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) return {};
    // A letter outside the basic plane is two UTF-16 units; keep it whole.
    const int length = trimmed.at(0).isHighSurrogate() && trimmed.size() > 1 ? 2 : 1;
    return trimmed.left(length).toUpper();
}

void AppIconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (!app_.icon.isNull()) {
        app_.icon.paint(&painter, rect().adjusted(2, 2, -2, -2));
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(accent::grey, 0.35));
        painter.drawRoundedRect(box, 5, 5);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(uiFont(11, QFont::Bold));
        painter.drawText(rect(), Qt::AlignCenter, placeholderLetter(app_.name));
    }
    painter.setPen(QPen(withOpacity(color_, 0.5), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, 5, 5);
}

CoreGrid::CoreGrid(QColor color, bool isPCore, QWidget* parent) : QWidget(parent), color_(color), isPCore_(isPCore) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    empty_ = new QLabel(uiText("cores.empty"), this);
    empty_->setObjectName("coresEmpty");
    styleSecondary(*empty_, 10);
    empty_->setFixedHeight(24);
    setApps({});
}

int CoreGrid::columnsFor(int width) { return std::max(1, (width + kSpacing) / (kIcon + kSpacing)); }

int CoreGrid::heightForWidth(int width) const {
    if (icons_.empty()) return 24;
    const int columns = columnsFor(width);
    const int rows = (static_cast<int>(icons_.size()) + columns - 1) / columns;
    return rows * kIcon + (rows - 1) * kSpacing;
}

QSize CoreGrid::sizeHint() const { return {260, heightForWidth(260)}; }

void CoreGrid::setApps(const std::vector<AppEntry>& apps) {
    for (auto* icon : icons_) delete icon;
    icons_.clear();
    for (const auto& app : apps) {
        auto* icon = new AppIconView(app, color_, this);
        icon->show();
        icons_.push_back(icon);
    }
    empty_->setVisible(apps.empty());
    placeIcons();
    updateGeometry();
}

void CoreGrid::resizeEvent(QResizeEvent*) { placeIcons(); }

void CoreGrid::placeIcons() {
    empty_->setGeometry(0, 0, width(), 24);
    const int columns = columnsFor(width());
    for (std::size_t i = 0; i < icons_.size(); ++i) {
        const int column = static_cast<int>(i) % columns;
        const int row = static_cast<int>(i) / columns;
        icons_[i]->move(column * (kIcon + kSpacing), row * (kIcon + kSpacing));
    }
}

CoreSection::CoreSection(const QString& title, const char* icon, QColor color, bool isPCore, QWidget* parent)
    : QWidget(parent), color_(color) {
    setAccessibleName(title);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 8);
    column->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(symbolPixmap(icon, 11, devicePixelRatioF(), color_));
    auto* titleLabel = new QLabel(title, this);
    styleLabel(*titleLabel, 11, QFont::DemiBold, color_);
    count_ = new QLabel(this);
    count_->setObjectName("sectionCount");
    styleLabel(*count_, 11, QFont::DemiBold, color_);
    header->addWidget(iconLabel);
    header->addWidget(titleLabel);
    header->addStretch(1);
    header->addWidget(count_);
    column->addLayout(header);
    grid_ = new CoreGrid(color_, isPCore, this);
    column->addWidget(grid_);
    setApps({});
}

void CoreSection::setApps(const std::vector<AppEntry>& apps) {
    count_->setText(uiFormat("%lld", {static_cast<std::int64_t>(apps.size())}));
    setAccessibleDescription(uiFormat("%lld apps", {static_cast<std::int64_t>(apps.size())}));
    grid_->setApps(apps);
}

QString CoreSection::countText() const { return count_->text(); }

void CoreSection::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(color_, 0.08));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

FocusVisualizerView::FocusVisualizerView(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    pSection_ = new CoreSection(uiText("cores.performance"), "bolt.fill", accent::orange, true, this);
    arrow_ = new QLabel(this);
    arrow_->setObjectName("allocationArrow");
    arrow_->setAlignment(Qt::AlignCenter);
    arrow_->setPixmap(symbolPixmap("arrow.down", 8, devicePixelRatioF(), secondaryText(palette())));
    eSection_ = new CoreSection(uiText("cores.efficiency"), "leaf.fill", accent::green, false, this);
    column->addWidget(pSection_);
    column->addWidget(arrow_);
    column->addWidget(eSection_);
    setAllocation({}, {}, false);
}

void FocusVisualizerView::setAllocation(const std::vector<AppEntry>& pCoreApps,
                                        const std::vector<AppEntry>& eCoreApps, bool isFocusModeActive) {
    pSection_->setApps(pCoreApps);
    eSection_->setApps(eCoreApps);
    arrow_->setVisible(isFocusModeActive || !eCoreApps.empty());
}

}  // namespace korvane::ui
