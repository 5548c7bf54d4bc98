#pragma once
// The list editor of applications named by bundle identifier: the Auto-Trigger
// (Beast Mode) list, and with other texts the Auto-Focus targets. The view
// stores nothing; every change goes to the manager through `Actions`.
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/ui/popover/application_catalog.h"

class QLabel;
class QToolButton;

namespace korvane::ui {

class AppList;
class ToggleSwitch;

struct NamedAppRow {
    QString name;
    QString bundleIdentifier;
};

struct TargetListTexts {
    QString title;        // the header and the hosting window's title
    const char* emptySymbol;
    QString emptyTitle;
    QString emptyBody;

    static TargetListTexts autoTrigger();
    static TargetListTexts autoFocus();
};

class AutoTriggerSettingsView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const QString& name, const QString& bundleID)> addApp;
        std::function<void(const QString& bundleID)> removeAppByID;
        std::function<void(bool enabled)> setEnabled;
    };

    explicit AutoTriggerSettingsView(Actions actions, TargetListTexts texts = TargetListTexts::autoTrigger(),
                                     QWidget* parent = nullptr);

    void setApps(const std::vector<NamedAppRow>& apps);
    void setEnabled(bool enabled);
    // What the back button calls; without it the back button closes the
    // first window titled like this list.
    void setCloseAction(std::function<void()> close) { closeAction_ = std::move(close); }

    // Hands picked or dropped entries to the manager, in order.
    void addEntries(const std::vector<ApplicationEntry>& entries);
    void addDesktopFiles(const QStringList& files);

    AppList* list() const { return list_; }
    ToggleSwitch* enabledSwitch() const { return switch_; }
    QToolButton* backButton() const { return back_; }
    QToolButton* addButton() const { return add_; }

private:
    void openAppPicker();
    void findAndCloseWindow();

    Actions actions_;
    TargetListTexts texts_;
    std::function<void()> closeAction_;
    AppList* list_ = nullptr;
    ToggleSwitch* switch_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* add_ = nullptr;
};

}  // namespace korvane::ui
