#include "serial/QtUiThread.h"

#include <QApplication>

#include <gtest/gtest.h>

// The Qt bridge runs on the application's thread, as in the program.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vx::InstallQtUiThread();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
