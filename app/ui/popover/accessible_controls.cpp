#include "app/ui/popover/accessible_controls.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <mutex>

#include "app/ui/popover/core_bar_view.h"
#include "app/ui/popover/core_group_view.h"
#include "app/ui/popover/toggle_switch.h"

namespace korvane::ui {
namespace {

class SwitchAccessible final : public QAccessibleWidget {
public:
    explicit SwitchAccessible(ToggleSwitch* control) : QAccessibleWidget(control, QAccessible::CheckBox) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = control()->isChecked();
        return state;
    }

    QStringList actionNames() const override { return {toggleAction(), pressAction()}; }

    void doAction(const QString& action) override {
        if (!control()->isEnabled()) return;
        if (action == toggleAction() || action == pressAction()) control()->click();
    }

private:
    ToggleSwitch* control() const { return static_cast<ToggleSwitch*>(widget()); }
};

class LevelAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit LevelAccessible(CoreBarView* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return qRound(static_cast<CoreBarView*>(widget())->usage() * 100); }
    void setCurrentValue(const QVariant&) override {}  // shown, not set
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* accessibleControl(const QString& className, QObject* object) {
    if (className == QLatin1String(ToggleSwitch::staticMetaObject.className())) {
        return new SwitchAccessible(static_cast<ToggleSwitch*>(object));
    }
    if (className == QLatin1String(CoreBarView::staticMetaObject.className())) {
        return new LevelAccessible(static_cast<CoreBarView*>(object));
    }
    if (className == QLatin1String(CoreGroupView::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
    }
    return nullptr;
}

}  // namespace

void installAccessibleControls() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(accessibleControl); });
}

}  // namespace korvane::ui
