#include "app/Application.h"
#include "app/Startup.h"
#include "serial/QtUiThread.h"

int main(int argc, char** argv) {
    vx::Application application(argc, argv);
    // Framer deliveries run on this thread through the toolkit's event loop.
    vx::InstallSerialDialogs();
    return vx::RunProgram(application);
}
