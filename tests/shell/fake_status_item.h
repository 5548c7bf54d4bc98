#pragma once
// A tray item that records what the shell showed on it.
#include <string>
#include <vector>

#include "app/shell/status_item.h"

namespace korvane::testing {

class FakeStatusItem final : public app::StatusItem {
public:
    void setImage(app::TrayImagePtr image) override {
        image_ = std::move(image);
        ++imageSets;
    }
    app::TrayImagePtr image() const override { return image_; }
    void setTitle(const std::string& title) override {
        title_ = title;
        titles.push_back(title);
    }
    std::string title() const override { return title_; }
    void setImagePosition(app::ImagePosition position) override { imagePosition = position; }
    void setToolTip(const std::string& text) override { toolTip = text; }
    void setContextMenu(QMenu* menu) override { contextMenu = menu; }
    QRect iconGeometry() const override { return {}; }

    int imageSets = 0;
    std::vector<std::string> titles;
    app::ImagePosition imagePosition = app::ImagePosition::imageOnly;
    std::string toolTip;
    QMenu* contextMenu = nullptr;

private:
    app::TrayImagePtr image_;
    std::string title_;
};

}  // namespace korvane::testing
