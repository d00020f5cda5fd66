#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Startup.h"
#include "serial/QtUiThread.h"

#include <iostream>

int main(int argc, char** argv) {
    // Read before the toolkit starts: --help and --version must answer without a display.
    const vx::CommandLine commandLine = vx::ParseCommandLine(argc, argv);
    if (commandLine.EndsBeforeWindows()) {
        return vx::AnswerOnTerminal(commandLine, std::cout, std::cerr);
    }
    vx::Application application(argc, argv);
    // Framer deliveries run on this thread through the toolkit's event loop.
    vx::InstallSerialDialogs();
    return vx::RunProgram(application, commandLine);
}
