// The connection window tests need one QApplication and the serial link's hand-over to its
// thread for the whole run. The offscreen platform also serves the test listing at build time.
#include "serial/QtUiThread.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    vx::InstallSerialDialogs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
