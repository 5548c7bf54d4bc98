// The main of the desktop tests: the QCoreApplication that Qt's loop thread
// and the D-Bus workspaces need, then GoogleTest.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
