#pragma once
// Korvane's item in the panel's tray, as the shell drives it: an image, a
// short title beside it where the host can show one, a tooltip, and the
// host's clicks. The shell owns this interface; the StatusNotifierItem and
// XEmbed adapters implement it, tests use a recording fake.
#include <QPoint>
#include <QRect>
#include <functional>
#include <string>

#include "app/shell/tray_image.h"

class QMenu;

namespace korvane::app {

enum class ImagePosition { imageOnly, imageLeft };

class StatusItem {
public:
    virtual ~StatusItem() = default;

    virtual void setImage(TrayImagePtr image) = 0;
    virtual TrayImagePtr image() const = 0;
    // Shown beside the image (" 37%"); empty for none. Hosts that cannot show
    // text get it drawn into the icon.
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    virtual void setImagePosition(ImagePosition position) = 0;
    virtual void setToolTip(const std::string& toolTip) = 0;
    // Shown on a right click; the item does not own it.
    virtual void setContextMenu(QMenu* menu) = 0;

    // Where the icon is on the screen, in global logical coordinates, as well
    // as the host has told us; empty when unknown.
    virtual QRect iconGeometry() const = 0;

    // A left click (or the host's "activate"), with the icon's geometry or
    // the click position as a one-pixel rectangle.
    std::function<void(const QRect& anchor)> onActivate;
};

}  // namespace korvane::app
