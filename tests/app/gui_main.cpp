// The GUI tests run inside the program's own application object, so errors escaping event
// handlers are handled as they are in the program.

#include "app/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display too.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    vx::Application application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
