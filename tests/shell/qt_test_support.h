#pragma once
// Widgets in tests without a display: one offscreen QApplication for the
// whole test program, made before the first test that needs it.
#include <QApplication>
#include <QCoreApplication>
#include <memory>

namespace korvane::testing {

inline QApplication& offscreenApplication() {
    static std::unique_ptr<QApplication> application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "korvane-tests";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *application;
}

}  // namespace korvane::testing
