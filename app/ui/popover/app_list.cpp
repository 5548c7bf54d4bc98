#include "app/ui/popover/app_list.h"

#include <QDragEnterEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/popover/application_catalog.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

AppList::AppList(AppListLook look, Actions actions, QWidget* parent)
    : QWidget(parent), look_(std::move(look)), actions_(std::move(actions)) {
    setAcceptDrops(true);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    rowsHolder_ = new QWidget(scroll);
    rowsHolder_->setAutoFillBackground(false);
    rowsLayout_ = new QVBoxLayout(rowsHolder_);
    rowsLayout_->setContentsMargins(12, 6, 12, 6);
    rowsLayout_->setSpacing(2);
    rowsLayout_->addStretch(1);
    scroll->setWidget(rowsHolder_);
    stack->addWidget(scroll);

    emptyState_ = new QWidget(this);
    emptyState_->setObjectName("emptyState");
    emptyState_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* empty = new QVBoxLayout(emptyState_);
    empty->setAlignment(Qt::AlignCenter);
    empty->setSpacing(8);
    auto* symbol = new QLabel(emptyState_);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(symbolPixmap(look_.emptySymbol, look_.emptySymbolSize, devicePixelRatioF(), withOpacity(palette().color(QPalette::WindowText), 0.3)));
    auto* title = new QLabel(look_.emptyTitle, emptyState_);
    title->setObjectName("emptyTitle");
    title->setAlignment(Qt::AlignCenter);
    styleSecondary(*title, 14, QFont::Medium);
    auto* body = new QLabel(look_.emptyBody, emptyState_);
    body->setObjectName("emptyBody");
    body->setAlignment(Qt::AlignCenter);
    styleSecondary(*body, 11);
    empty->addWidget(symbol);
    empty->addWidget(title);
    empty->addWidget(body);
    setRows({});
}

void AppList::setRows(const std::vector<AppListRow>& rows) {
    for (QWidget* row : rows_) delete row;
    rows_.clear();
    const QColor secondary = secondaryText(palette());
    for (const AppListRow& entry : rows) {
        auto* row = new QWidget(rowsHolder_);
        row->setObjectName("listRow");
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 4, 0, 4);
        line->setSpacing(10);
        if (entry.icon) {
            auto* icon = new QLabel(row);
            icon->setFixedSize(28, 28);
            icon->setPixmap(entry.icon->isNull() ? symbolPixmap("app.fill", 28, devicePixelRatioF(), secondary)
                                                 : entry.icon->pixmap(QSize(28, 28), devicePixelRatioF()));
            line->addWidget(icon);
        }
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* title = new QLabel(entry.title, row);
        title->setFont(uiFont(13, QFont::Medium));
        auto* subtitle = new QLabel(entry.subtitle, row);
        styleSecondary(*subtitle, look_.subtitleSize);
        texts->addWidget(title);
        texts->addWidget(subtitle);
        line->addLayout(texts, 1);
        auto* remove = new QToolButton(row);
        remove->setObjectName("removeButton");
        remove->setAutoRaise(true);
        remove->setIcon(symbolIcon("xmark.circle.fill", 16, secondary));
        remove->setToolTip(look_.removeToolTip);
        // One per row, so each says whose it is.
        remove->setAccessibleName(uiFormat("%@: %@", {look_.removeToolTip.toStdString(), entry.title.toStdString()}));
        connect(remove, &QToolButton::clicked, this, [this, key = entry.key] {
            if (actions_.remove) actions_.remove(key);
        });
        line->addWidget(remove);
        rowsLayout_->insertWidget(rowsLayout_->count() - 1, row);
        rows_.push_back(row);
    }
    setRowOpacity(rowOpacity_);
    emptyState_->setVisible(rows.empty());
    emptyState_->raise();
}

void AppList::setRowOpacity(double opacity) {
    rowOpacity_ = opacity;
    for (QWidget* row : rows_) {
        if (opacity >= 1.0) {
            row->setGraphicsEffect(nullptr);
            continue;
        }
        auto* effect = new QGraphicsOpacityEffect(row);
        effect->setOpacity(opacity);
        row->setGraphicsEffect(effect);
    }
}

std::vector<QToolButton*> AppList::removeButtons() const {
    std::vector<QToolButton*> buttons;
    for (QWidget* row : rows_) buttons.push_back(row->findChild<QToolButton*>("removeButton"));
    return buttons;
}

void AppList::setDragging(bool dragging) {
    if (isDragging_ == dragging) return;
    isDragging_ = dragging;
    update();
}

void AppList::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    setDragging(true);
}

void AppList::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void AppList::dragLeaveEvent(QDragLeaveEvent*) { setDragging(false); }

void AppList::dropEvent(QDropEvent* event) {
    setDragging(false);
    const QStringList files = desktopFilesIn(*event->mimeData());
    event->acceptProposedAction();
    if (!files.isEmpty() && actions_.dropped) actions_.dropped(files);
}

void AppList::paintEvent(QPaintEvent*) {
    if (!isDragging_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accentColor = systemAccent(palette());
    painter.setBrush(withOpacity(accentColor, 0.08));
    painter.setPen(QPen(accentColor, 2, Qt::DashLine));
    painter.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 8, 8);
}

void AppList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emptyState_->setGeometry(rect());
}

}  // namespace korvane::ui
