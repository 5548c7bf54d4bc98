#pragma once
// Widgets in tests without a display: the test program's main makes one
// offscreen QApplication for all tests and ends it before the program ends,
// so Qt's caches go with it.
#include <QApplication>

namespace korvane::testing {

inline QApplication& offscreenApplication() { return *static_cast<QApplication*>(QCoreApplication::instance()); }

}  // namespace korvane::testing
