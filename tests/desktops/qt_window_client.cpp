// A Qt program with one window, for the desktop tests: its desktop file
// name (the Wayland app_id Qt sends) and title come from the command line.
//   qt_window_client APP_ID TITLE
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) return 64;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QLabel window(QString::fromLocal8Bit(argv[2]));
    window.setWindowTitle(QString::fromLocal8Bit(argv[2]));
    window.resize(320, 200);
    window.show();
    return QApplication::exec();
}
