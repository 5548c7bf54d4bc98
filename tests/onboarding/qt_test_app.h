#pragma once
// One QApplication for a test program, on the offscreen platform, with the
// pinned font and the bundled symbols so renders match on every machine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFont>
#include <cstdlib>
#include <functional>

#include "app/ui/symbols/symbol_image.h"

namespace korvane::testing {

inline QApplication& qtApp() {
    // Offscreen, and without a desktop's platform theme, whoever starts the test.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("QT_QPA_PLATFORMTHEME");
    static int argc = 1;
    static char name[] = "korvane-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(13);
        QApplication::setFont(font);
        ui::setSymbolSource(ui::SymbolSource::BundledOnly);
        return created;
    }();
    return *app;
}

// A test whose members may be widgets: the application exists before them.
class QtFixture : public ::testing::Test {
  protected:
    QtFixture() { qtApp(); }
};

// Runs the event loop until `done` holds or `milliseconds` pass.
inline bool waitUntil(const std::function<bool()>& done, int milliseconds = 15000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace korvane::testing
