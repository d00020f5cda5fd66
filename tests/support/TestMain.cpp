// The main() of the tests that need Qt: one application object for the whole run, on the
// offscreen platform, so neither a run nor the test listing CTest does at build time needs a
// display. Built in variants (tests/support/CMakeLists.txt) as the program's own start-up is:
//   VX_TEST_PROGRAM_APPLICATION  the program's application object, so errors escaping event
//                                handlers are handled as they are in the program;
//   VX_TEST_QT_UI_THREAD         the serial link hands its work to Qt's event loop;
//   VX_TEST_SERIAL_DIALOGS       ... and shows its errors and port choice in dialogs.

#if defined(VX_TEST_PROGRAM_APPLICATION)
#include "app/Application.h"
#else
#include <QApplication>
#endif
#if defined(VX_TEST_QT_UI_THREAD) || defined(VX_TEST_SERIAL_DIALOGS)
#include "serial/QtUiThread.h"
#endif

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#if defined(VX_TEST_PROGRAM_APPLICATION)
    vx::Application application(argc, argv);
#else
    QApplication application(argc, argv);
#endif
#if defined(VX_TEST_SERIAL_DIALOGS)
    vx::InstallSerialDialogs();
#elif defined(VX_TEST_QT_UI_THREAD)
    vx::InstallQtUiThread();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
