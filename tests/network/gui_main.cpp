// The network window tests run inside the program's own application object, with the serial
// link's hand-over to the user-interface thread installed as the program does.

#include "app/Application.h"
#include "serial/QtUiThread.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display too.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vx::Application application(argc, argv);
    vx::InstallSerialDialogs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
