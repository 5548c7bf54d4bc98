#pragma once
// The application chooser of the list windows: the installed applications in
// Name order with a search field and multiple selection, and "Browse…" for a
// desktop entry anywhere else. Typing marks the first match, Enter adds what
// is marked, Down moves from the search field into the list.
#include <QDialog>
#include <functional>
#include <vector>

#include "app/ui/popover/application_catalog.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvane::ui {

class ApplicationPicker : public QDialog {
    Q_OBJECT
public:
    // Picks one or more .desktop files; replaceable so tests need no file dialog.
    using BrowseFunction = std::function<QStringList(QWidget* parent, const QString& startFolder)>;

    ApplicationPicker(std::vector<QString> dataFolders, QWidget* parent = nullptr);

    // The chosen entries in the list's order (or the browsed files' order).
    std::vector<ApplicationEntry> chosen() const { return chosen_; }

    void setBrowseFunction(BrowseFunction browse) { browse_ = std::move(browse); }

    QTreeWidget* list() const { return list_; }
    QLineEdit* searchField() const { return search_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* browseButton() const { return browseButton_; }

    // Opens the chooser and hands the confirmed entries to `confirm`; nothing
    // when the user cancels.
    static void choose(QWidget* parent, std::function<void(const std::vector<ApplicationEntry>&)> confirm);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filter(const QString& text);
    QTreeWidgetItem* firstShown() const;
    void confirmSelection();
    void browse();

    std::vector<QString> dataFolders_;
    std::vector<ApplicationEntry> entries_;
    std::vector<ApplicationEntry> chosen_;
    BrowseFunction browse_;
    QLineEdit* search_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* browseButton_ = nullptr;
};

}  // namespace korvane::ui
