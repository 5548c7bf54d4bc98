#include "platform/linux/x11/xembed_status_item.h"

#include <QIcon>

#include "app/shell/tray_icon_drawing.h"

namespace korvane::linux_platform {

XEmbedStatusItem::XEmbedStatusItem(std::function<QColor()> panelForeground)
    : panelForeground_(std::move(panelForeground)) {
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger) return;
        if (onActivate) onActivate(tray_.geometry());
    });
    updateIcon();
    tray_.show();
}

XEmbedStatusItem::~XEmbedStatusItem() { tray_.hide(); }

void XEmbedStatusItem::setImage(app::TrayImagePtr image) {
    if (image == image_) return;
    image_ = std::move(image);
    updateIcon();
}

void XEmbedStatusItem::setTitle(const std::string& title) {
    if (title == title_) return;
    title_ = title;
    updateIcon();
}

void XEmbedStatusItem::setToolTip(const std::string& toolTip) { tray_.setToolTip(QString::fromStdString(toolTip)); }

void XEmbedStatusItem::setContextMenu(QMenu* menu) { tray_.setContextMenu(menu); }

void XEmbedStatusItem::updateIcon() {
    tray_.setIcon(QIcon(new app::TrayIconEngine(image_, title_, panelForeground_())));
}

}  // namespace korvane::linux_platform
