#pragma once
// The E-Core Jail list editor. It stores nothing: adding, removing and the
// switch go to the jail manager through `Actions`.
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QToolButton;

namespace korvane::ui {

class AppList;
class ToggleSwitch;

// What the jail window offers for the applications it confined while on.
enum class JailRelease {
    offered,
    heldElsewhere,  // focus or Beast Mode holds processes, which a release would free too
    released,
};

struct JailRow {
    QString key;  // the entry's identity
    QString appName;
    QString bundleIdentifier;
    QString appPath;
};

class ECoreJailView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const QString& desktopFile)> addApp;
        std::function<void(const QString& key)> removeApp;
        std::function<void(bool enabled)> setEnabled;
        std::function<void()> release;
    };

    explicit ECoreJailView(Actions actions, QWidget* parent = nullptr);

    void setItems(const std::vector<JailRow>& items);
    void setEnabled(bool enabled);
    void setSyncError(const std::optional<std::string>& error);
    void setRelease(JailRelease state);

    void addDesktopFiles(const QStringList& files);

    AppList* list() const { return list_; }
    ToggleSwitch* enabledSwitch() const { return switch_; }
    QWidget* disabledNotice() const { return disabledNotice_; }
    QToolButton* releaseButton() const { return release_; }
    QWidget* syncErrorRow() const { return syncErrorRow_; }
    QLabel* syncErrorText() const { return syncError_; }
    QToolButton* addButton() const { return add_; }

private:
    void openAppPicker();

    Actions actions_;
    bool enabled_ = false;
    AppList* list_ = nullptr;
    ToggleSwitch* switch_ = nullptr;
    QToolButton* add_ = nullptr;
    QWidget* disabledNotice_ = nullptr;
    QToolButton* release_ = nullptr;
    QWidget* syncErrorRow_ = nullptr;
    QLabel* syncError_ = nullptr;
};

}  // namespace korvane::ui
