#include "app/Application.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    vx::Application application(argc, argv);
    return vx::RunProgram(application);
}
