#include "app/shell/widget_map.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

namespace korvane::app {

namespace {

QByteArray currentMap() {
    QByteArray map;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (button->objectName().isEmpty() || !button->isVisible()) continue;
            const QPoint origin = button->mapToGlobal(QPoint(0, 0));
            map += button->objectName().toUtf8() + ' ' + QByteArray::number(origin.x()) + ' ' +
                   QByteArray::number(origin.y()) + ' ' + QByteArray::number(button->width()) + ' ' +
                   QByteArray::number(button->height()) + '\n';
        }
    }
    return map;
}

}  // namespace

void startWidgetMapWriter(const QString& path) {
    auto* timer = new QTimer(qApp);
    auto last = std::make_shared<QByteArray>("-");
    QObject::connect(timer, &QTimer::timeout, qApp, [path, last] {
        QByteArray map = currentMap();
        if (map == *last) return;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(map);
        if (file.commit()) *last = map;
    });
    timer->start(500);
}

}  // namespace korvane::app
