#pragma once
// Which applications sit on the P-cores and which were pushed to the E-cores:
// two tinted cards of application icons with an arrow between them.
#include <QColor>
#include <QWidget>
#include <vector>

#include "app/ui/popover/app_entry.h"

class QLabel;

namespace korvane::ui {

// One application's icon, 24 × 24, outlined in its section's colour; a grey
// square with the name's first letter when it has no icon.
class AppIconView : public QWidget {
    Q_OBJECT
public:
    AppIconView(AppEntry app, QColor color, QWidget* parent = nullptr);
    const AppEntry& app() const { return app_; }
    // The letter drawn in place of a missing icon.
    static QString placeholderLetter(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppEntry app_;
    QColor color_;
};

// The icons in adaptive columns of 24 with spacing 5, or "no apps".
class CoreGrid : public QWidget {
    Q_OBJECT
public:
    CoreGrid(QColor color, bool isPCore, QWidget* parent = nullptr);
    void setApps(const std::vector<AppEntry>& apps);
    std::vector<AppIconView*> icons() const { return icons_; }
    QLabel* emptyLabel() const { return empty_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

    static int columnsFor(int width);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeIcons();

    QColor color_;
    bool isPCore_;
    QLabel* empty_ = nullptr;
    std::vector<AppIconView*> icons_;
};

class CoreSection : public QWidget {
    Q_OBJECT
public:
    CoreSection(const QString& title, const char* icon, QColor color, bool isPCore, QWidget* parent = nullptr);
    void setApps(const std::vector<AppEntry>& apps);
    CoreGrid* grid() const { return grid_; }
    QString countText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    QLabel* count_ = nullptr;
    CoreGrid* grid_ = nullptr;
};

class FocusVisualizerView : public QWidget {
    Q_OBJECT
public:
    explicit FocusVisualizerView(QWidget* parent = nullptr);
    void setAllocation(const std::vector<AppEntry>& pCoreApps, const std::vector<AppEntry>& eCoreApps,
                       bool isFocusModeActive);

    CoreSection* pSection() const { return pSection_; }
    CoreSection* eSection() const { return eSection_; }
    QLabel* arrow() const { return arrow_; }

private:
    CoreSection* pSection_ = nullptr;
    QLabel* arrow_ = nullptr;
    CoreSection* eSection_ = nullptr;
};

}  // namespace korvane::ui
