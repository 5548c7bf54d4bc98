#pragma once
// A small on/off switch drawn as a pill with a knob, the control the popover
// uses wherever a setting is switched.
#include <QAbstractButton>
#include <QColor>

namespace korvane::ui {

class ToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToggleSwitch(QWidget* parent = nullptr, bool small = false);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool small_;
};

}  // namespace korvane::ui
