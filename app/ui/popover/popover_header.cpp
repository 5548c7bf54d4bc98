#include "app/ui/popover/popover_header.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include "app/focus/app_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/ui/popover/popover_style.h"
#include "app/ui/popover/status_dot.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {
namespace {

// The application's logo with the popover's rounded corners.
QPixmap appLogo(qreal dpr) {
    const QPixmap art = appLogoPixmap(22, dpr);
    QPixmap logo(art.size());
    logo.setDevicePixelRatio(dpr);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath corners;
    corners.addRoundedRect(QRectF(0, 0, 22, 22), 5, 5);
    painter.setClipPath(corners);
    painter.drawPixmap(0, 0, art);
    return logo;
}

}  // namespace

PopoverHeader::PopoverHeader(app::AppManager& apps, app::AutoTriggerManager& beast, QWidget* parent)
    : QWidget(parent), apps_(apps), beast_(beast) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(8);
    auto* logo = new QLabel(this);
    logo->setPixmap(appLogo(devicePixelRatioF()));
    logo->setFixedSize(22, 22);
    auto* name = new QLabel(uiText("app.name"), this);
    name->setFont(uiFont(14, QFont::Bold));
    beastBadge_ = badge(this, accent::purple, symbolLabel(this, "bolt.fill", 10, accent::purple), uiText("Beast"),
                        "beastBadge");
    focusDot_ = new StatusDot(8, accent::green, this);
    focusDot_->setObjectName("focusDot");
    focusDot_->setAccessibleName(uiText("Focus mode"));
    row->addWidget(logo);
    row->addWidget(name);
    row->addWidget(beastBadge_);
    row->addStretch(1);
    row->addWidget(focusDot_);

    for (const auto* flag : {&apps_.isFocusModeActive, &beast_.isBeastModeActive}) {
        subscriptions_.push_back(flag->observe([this](bool) { showState(); }));
    }
    showState();
}

void PopoverHeader::showState() {
    const bool focusOn = apps_.isFocusModeActive.get();
    beastBadge_->setVisible(beast_.isBeastModeActive.get());
    focusDot_->setColor(focusOn ? accent::orange : accent::green);
    focusDot_->setAccessibleDescription(focusOn ? uiText("On") : uiText("Off"));
}

}  // namespace korvane::ui
