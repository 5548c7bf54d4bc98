#pragma once
// The list area both list windows share: one row per entry with a remove
// button, an empty state drawn over it, and drops of desktop entries.
#include <QIcon>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace korvane::ui {

struct AppListRow {
    QString key;  // what the remove action receives
    QString title;
    QString subtitle;
    std::optional<QIcon> icon;  // only lists with an icon column set it; a null icon draws "app.fill"
};

struct AppListLook {
    int subtitleSize = 11;
    QString removeToolTip;
    const char* emptySymbol = "";
    int emptySymbolSize = 32;
    QString emptyTitle;
    QString emptyBody;
};

class AppList : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void(const QString& key)> remove;
        std::function<void(const QStringList& desktopFiles)> dropped;
    };

    AppList(AppListLook look, Actions actions, QWidget* parent = nullptr);

    void setRows(const std::vector<AppListRow>& rows);
    // Draws the rows faded (the jail while it is off).
    void setRowOpacity(double opacity);
    double rowOpacity() const { return rowOpacity_; }

    bool isDragging() const { return isDragging_; }
    QWidget* emptyState() const { return emptyState_; }
    std::vector<QToolButton*> removeButtons() const;
    int rowCount() const { return static_cast<int>(rows_.size()); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setDragging(bool dragging);

    AppListLook look_;
    Actions actions_;
    QWidget* rowsHolder_ = nullptr;
    QVBoxLayout* rowsLayout_ = nullptr;
    QWidget* emptyState_ = nullptr;
    std::vector<QWidget*> rows_;
    double rowOpacity_ = 1.0;
    bool isDragging_ = false;
};

}  // namespace korvane::ui
