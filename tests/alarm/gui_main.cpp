// The widget tests need one QApplication for the whole run, with the serial link handing its
// work to Qt's event loop as the program does. They never need a display: the offscreen platform
// also serves the test listing that CTest runs at build time.
#include "serial/QtUiThread.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    vx::InstallQtUiThread();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
