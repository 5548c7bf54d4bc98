#pragma once
// The tray item on an XEmbed system tray (trayer, icewm, older panels),
// through QSystemTrayIcon. XEmbed trays show only an icon, so a title is
// drawn into it. The icon is rendered at exactly the size the tray asks for,
// in the colour the panel wants.
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "app/shell/status_item.h"

namespace korvane::linux_platform {

class XEmbedStatusItem final : public QObject, public app::StatusItem {
    Q_OBJECT
public:
    // `panelForeground`: the colour the panel wants its icons in.
    explicit XEmbedStatusItem(std::function<QColor()> panelForeground);
    ~XEmbedStatusItem() override;

    void setImage(app::TrayImagePtr image) override;
    app::TrayImagePtr image() const override { return image_; }
    void setTitle(const std::string& title) override;
    std::string title() const override { return title_; }
    void setImagePosition(app::ImagePosition) override {}
    void setToolTip(const std::string& toolTip) override;
    void setContextMenu(QMenu* menu) override;
    QRect iconGeometry() const override { return tray_.geometry(); }
    void panelColorsChanged() { updateIcon(); }

private:
    void updateIcon();

    std::function<QColor()> panelForeground_;
    QSystemTrayIcon tray_;
    app::TrayImagePtr image_;
    std::string title_;
};

}  // namespace korvane::linux_platform
