// The main of the Qt test programs: one offscreen QApplication for the whole
// run, with the font pinned so text metrics (and reference renders) do not
// depend on the machine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    // Offscreen, and without a desktop's platform theme, whoever starts the test.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_PLATFORMTHEME");
    QApplication app(argc, argv);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    QApplication::setFont(font);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
