#pragma once
// One running application in the popover's list: icon, name, and marks for
// "chosen" and "throttled". Tapping it (or Space with the focus on it) calls
// its action.
#include <QAbstractButton>
#include <functional>

#include "app/ui/popover/app_entry.h"

namespace korvane::ui {

class AppRow : public QAbstractButton {
    Q_OBJECT
public:
    AppRow(AppEntry app, bool isSelected, bool isThrottled, std::function<void()> action, QWidget* parent = nullptr);

    void setMarks(bool isSelected, bool isThrottled);
    void setApp(AppEntry app);
    const AppEntry& app() const { return app_; }
    bool isSelected() const { return isSelected_; }
    bool isThrottled() const { return isThrottled_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Where the name goes: between the icon and the marks.
    QRect nameBox() const;
    // The marks, in words.
    void updateDescription();
    // A name cut short is shown whole in the tooltip.
    void updateToolTip();

    AppEntry app_;
    bool isSelected_;
    bool isThrottled_;
    std::function<void()> action_;
};

}  // namespace korvane::ui
