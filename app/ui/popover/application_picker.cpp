#include "app/ui/popover/application_picker.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {

ApplicationPicker::ApplicationPicker(std::vector<QString> dataFolders, QWidget* parent)
    : QDialog(parent), dataFolders_(std::move(dataFolders)), entries_(installedApplications(dataFolders_)) {
    setWindowTitle(uiText("Choose Applications"));
    resize(460, 480);
    auto* column = new QVBoxLayout(this);

    search_ = new QLineEdit(this);
    search_->setObjectName("pickerSearch");
    search_->setAccessibleName(uiText("Search applications"));
    search_->setPlaceholderText(uiText("Search"));
    search_->setClearButtonEnabled(true);
    column->addWidget(search_);

    list_ = new QTreeWidget(this);
    list_->setObjectName("pickerList");
    list_->setAccessibleName(uiText("Applications"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({uiText("Name"), uiText("ID")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setIconSize(QSize(24, 24));
    list_->setUniformRowHeights(true);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(false);
    const QIcon fallback = symbolIcon("app.fill", 24, secondaryText(palette()));
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        auto* item = new QTreeWidgetItem(list_, {entries_[i].name, entries_[i].id});
        const QIcon icon = entries_[i].icon();
        item->setIcon(0, icon.isNull() ? fallback : icon);
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setToolTip(0, entries_[i].path);
    }
    column->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(this);
    browseButton_ = buttons->addButton(uiText("Browse…"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    add_ = buttons->addButton(uiText("Add"), QDialogButtonBox::AcceptRole);
    add_->setDefault(true);
    add_->setEnabled(false);
    column->addWidget(buttons);

    search_->installEventFilter(this);
    connect(search_, &QLineEdit::textChanged, this, &ApplicationPicker::filter);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { add_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] { confirmSelection(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add_, &QPushButton::clicked, this, &ApplicationPicker::confirmSelection);
    connect(browseButton_, &QPushButton::clicked, this, &ApplicationPicker::browse);

    browse_ = [](QWidget* owner, const QString& start) {
        return QFileDialog::getOpenFileNames(owner, uiText("Choose Desktop Entries"), start,
                                             uiText("Desktop entries (*.desktop)"));
    };
    search_->setFocus();
}

void ApplicationPicker::filter(const QString& text) {
    const QString needle = text.trimmed();
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list_->topLevelItem(row);
        const bool match = needle.isEmpty() || item->text(0).contains(needle, Qt::CaseInsensitive) ||
                           item->text(1).contains(needle, Qt::CaseInsensitive);
        item->setHidden(!match);
        if (!match) item->setSelected(false);
    }
    // What Enter would add is marked as the user types: the first match,
    // unless one is chosen already.
    if (!needle.isEmpty() && list_->selectedItems().isEmpty()) {
        if (QTreeWidgetItem* first = firstShown()) {
            list_->setCurrentItem(first);
            first->setSelected(true);
        }
    }
}

QTreeWidgetItem* ApplicationPicker::firstShown() const {
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
        if (!list_->topLevelItem(row)->isHidden()) return list_->topLevelItem(row);
    }
    return nullptr;
}

bool ApplicationPicker::eventFilter(QObject* watched, QEvent* event) {
    // Down (or Page Down) goes from the search field into the list.
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_PageDown) {
            QTreeWidgetItem* current = list_->currentItem();
            if (!current || current->isHidden()) {
                current = firstShown();
                if (current) list_->setCurrentItem(current);
            }
            list_->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ApplicationPicker::confirmSelection() {
    chosen_.clear();
    // The list's order, not the order of the clicks.
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list_->topLevelItem(row);
        if (item->isSelected() && !item->isHidden()) {
            chosen_.push_back(entries_[static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt())]);
        }
    }
    if (!chosen_.empty()) accept();
}

void ApplicationPicker::browse() {
    const QStringList files = browse_(this, QStringLiteral("/usr/share/applications"));
    chosen_.clear();
    for (const QString& file : files) {
        if (auto entry = readApplicationEntry(file, dataFolders_)) chosen_.push_back(std::move(*entry));
    }
    if (!chosen_.empty()) accept();
}

void ApplicationPicker::choose(QWidget* parent, std::function<void(const std::vector<ApplicationEntry>&)> confirm) {
    auto* picker = new ApplicationPicker(xdgDataFolders(), parent);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setWindowModality(Qt::WindowModal);
    connect(picker, &QDialog::accepted, picker, [picker, confirm = std::move(confirm)] { confirm(picker->chosen()); });
    picker->open();
}

}  // namespace korvane::ui
